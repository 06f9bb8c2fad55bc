#include "chronelle/model/ChronelleModel.h"

#include <mutex>
#include <stdexcept>
#include <string>

#include "chronelle/model/BrowserALEntry.h"
#include "chronelle/model/DocumentAppALEntry.h"
#include "chronelle/model/Folder.h"
#include "chronelle/model/NSDictionaryValueTransformer.h"
#include "chronelle/model/Rule.h"
#include "chronelle/model/RuleCombination.h"
#include "chronelle/model/RuleSet.h"
#include "chronelle/model/Session.h"
#include "chronelle/model/Task.h"

namespace chronelle {
namespace {

// Optional attribute without a default.
AttributeDescription optional(std::string name, AttributeType type) {
  return AttributeDescription{std::move(name), type, true, Value(), ""};
}

// Mandatory attribute; without a default a new object must be given a value before it is
// saved.
AttributeDescription required(std::string name, AttributeType type, Value defaultValue = Value()) {
  return AttributeDescription{std::move(name), type, false, std::move(defaultValue), ""};
}

RelationshipDescription toOne(std::string name, std::string destination, std::string inverse) {
  return RelationshipDescription{
      std::move(name),    std::move(destination), std::move(inverse), false, true,
      DeleteRule::nullify};
}

RelationshipDescription toOneOwned(std::string name, std::string destination, std::string inverse) {
  return RelationshipDescription{
      std::move(name),    std::move(destination), std::move(inverse), false, true,
      DeleteRule::cascade};
}

RelationshipDescription toManyOwned(std::string name, std::string destination,
                                    std::string inverse) {
  return RelationshipDescription{
      std::move(name), std::move(destination), std::move(inverse), true, true, DeleteRule::cascade};
}

template <class T>
ClassFactory factory() {
  return [] { return std::make_shared<T>(); };
}

// Each entity with a string identity starts with it, as if inherited: the base class is a
// C++ class only, so that nodes, entries, rule sets and rules keep a table each.
AttributeDescription identifierAttribute() {
  return optional(NSManagedObjectWithIdentifier::kIdentifierKey, AttributeType::string);
}

EntityDescription nodeEntity() {
  EntityDescription node(Node::kEntityName, "", /*isAbstract=*/true);
  node.add(identifierAttribute())
      .add(required("archived", AttributeType::boolean, false))
      .add(required("colorId", AttributeType::integer16, 0))
      .add(required("confirmedDuration", AttributeType::doubleType, 0.0))
      .add(optional("lastSessionBegin", AttributeType::date))
      .add(required("name", AttributeType::string))
      .add(required("order", AttributeType::integer16, 0))
      .add(toManyOwned("children", Node::kEntityName, "parent"))
      .add(toOne("parent", Node::kEntityName, "children"))
      .add(required("isBillableSet", AttributeType::boolean, false))
      .add(required("isBillable", AttributeType::boolean, false))
      .add(required("hourlyRateIsSet", AttributeType::boolean, false))
      .add(required("hourlyRate", AttributeType::doubleType, 0.0))
      .addIndex("lastSessionBegin");  // the recent-tasks read filters and sorts on it
  return node;
}

EntityDescription taskEntity() {
  EntityDescription task(Task::kEntityName, Node::kEntityName);
  task.add(toManyOwned("sessions", Session::kEntityName, "task"))
      .add(optional("notes", AttributeType::string))
      .add(toOneOwned("ruleSet", RuleSet::kEntityName, "task"));
  return task;
}

EntityDescription sessionEntity(int version) {
  EntityDescription session(Session::kEntityName);
  session.add(identifierAttribute())
      .add(required("autotracked", AttributeType::boolean, false))
      .add(required("begin", AttributeType::date))
      .add(required("confirmedDuration", AttributeType::doubleType, 0.0))
      .add(required("confirmedRevenue", AttributeType::doubleType, 0.0))
      .add(optional("end", AttributeType::date))
      .add(optional("notes", AttributeType::string))
      .add(optional("originalEnd", AttributeType::date))
      .add(required("roundingMethod", AttributeType::integer16, 0))
      .add(required("roundingTo", AttributeType::integer16, 0))
      .add(required("hourlyRate", AttributeType::doubleType, 0.0))
      .add(toOne("task", Task::kEntityName, "sessions"))
      .add(required("billingStatusValue", AttributeType::integer16, 0))
      .add(required("isBillable", AttributeType::boolean, false));
  // Period queries search entries by begin; the length index (new in version 2) bounds the
  // begin of an entry that ends in a period.
  if (version >= 2) session.setSpan("begin", "end");
  // Every save that touches an entry recounts its task's total, the sum of confirmed
  // durations over the task's entries: from version 3 that sum is read from the index alone
  // (thousands of table look-ups per save otherwise).
  if (version >= 3) session.addCompositeIndex({"task", "confirmedDuration"});
  // From version 4 the store itself keeps that sum per task, so the recount after a save
  // reads one row, however many entries the task has; the index above still serves sums
  // that are not exact integers and the recount of every task at once.
  if (version >= 4) session.addMaintainedSum("confirmedDuration", "task");
  return session;
}

EntityDescription ruleSetEntity() {
  EntityDescription set(RuleSet::kEntityName);
  set.add(identifierAttribute())
      .add(required("startTypeIndex", AttributeType::integer16, 0))
      .add(required("startDelayIndex", AttributeType::integer16, 0))
      .add(required("pauseTypeIndex", AttributeType::integer16, 0))
      .add(required("pauseDelayIndex", AttributeType::integer16, 0))
      .add(toManyOwned("rules", RuleBase::kEntityName, "set"))
      .add(toOne("task", Task::kEntityName, "ruleSet"))
      .add(required("active", AttributeType::boolean, true));
  return set;
}

EntityDescription ruleBaseEntity() {
  EntityDescription base(RuleBase::kEntityName, "", /*isAbstract=*/true);
  base.add(identifierAttribute())
      .add(required("active", AttributeType::boolean, true))
      .add(required("order", AttributeType::integer16, 0))
      .add(toOne("set", RuleSet::kEntityName, "rules"))
      .add(toManyOwned("children", RuleBase::kEntityName, "parent"))
      .add(toOne("parent", RuleBase::kEntityName, "children"));
  return base;
}

EntityDescription ruleEntity() {
  AttributeDescription userInfo = optional("userInfo", AttributeType::transformable);
  userInfo.valueTransformerName = NSDictionaryValueTransformer::kName;
  EntityDescription rule(Rule::kEntityName, RuleBase::kEntityName);
  rule.add(optional("applicationPath", AttributeType::string))
      .add(optional("filePath", AttributeType::string))
      .add(required("typeValue", AttributeType::integer16, 0))
      .add(optional("websiteUrl", AttributeType::string))
      .add(optional("text", AttributeType::string))
      .add(required("relationValue", AttributeType::integer16, 0))
      .add(required("isInActiveWindow", AttributeType::boolean, false))
      .add(std::move(userInfo));
  return rule;
}

EntityDescription alEntryEntity() {
  EntityDescription entry(ALEntry::kEntityName);
  entry.add(optional("begin", AttributeType::date))
      .add(optional("end", AttributeType::date))
      .add(optional("bundleId", AttributeType::string))
      .add(optional("title", AttributeType::string));
  return entry;
}

}  // namespace

std::shared_ptr<const ObjectModel> ChronelleModel::build() { return build(kVersion); }

std::shared_ptr<const ObjectModel> ChronelleModel::build(int version) {
  if (version < 1 || version > kVersion) {
    throw std::invalid_argument("ChronelleModel: no version " + std::to_string(version));
  }
  auto model = std::make_shared<ObjectModel>(kName, version);
  model->addEntity(nodeEntity());  // abstract: no factory needed
  model->addEntity(EntityDescription(Folder::kEntityName, Node::kEntityName), factory<Folder>());
  model->addEntity(taskEntity(), factory<Task>());
  model->addEntity(sessionEntity(version), factory<Session>());
  model->addEntity(ruleSetEntity(), factory<RuleSet>());
  model->addEntity(ruleBaseEntity());  // abstract
  model->addEntity(ruleEntity(), factory<Rule>());
  model->addEntity(EntityDescription(RuleCombination::kEntityName, RuleBase::kEntityName),
                   factory<RuleCombination>());
  model->addEntity(alEntryEntity(), factory<ALEntry>());
  model->addEntity(EntityDescription(BrowserALEntry::kEntityName, ALEntry::kEntityName)
                       .add(optional("url", AttributeType::string)),
                   factory<BrowserALEntry>());
  model->addEntity(EntityDescription(DocumentAppALEntry::kEntityName, ALEntry::kEntityName)
                       .add(optional("documentUrl", AttributeType::string)),
                   factory<DocumentAppALEntry>());
  model->finalize();
  return model;
}

std::shared_ptr<const ObjectModel> ChronelleModel::registerModel() {
  static std::once_flag once;
  static std::shared_ptr<const ObjectModel> registered;
  std::call_once(once, [] {
    registered = build();
    ModelRegistry::registerModel(registered);
    // Older versions help migrations map what their stores hold exactly; only a migration
    // looks them up, so they are built then.
    for (int version = 1; version < kVersion; ++version) {
      ModelRegistry::registerModelBuilder(std::string(kName), version, [version] { return build(version); });
    }
  });
  return registered;
}

}  // namespace chronelle
