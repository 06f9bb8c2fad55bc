// Writes of automatic-tracking rules and of the activity log.

#include <utility>

#include "chronelle/data/MainDataProvider.h"
#include "chronelle/model/ALEntry.h"
#include "chronelle/model/Rule.h"
#include "chronelle/model/RuleSet.h"
#include "chronelle/model/Task.h"
#include "chronelle/store/StoreError.h"

namespace chronelle {

asio::awaitable<void> MainDataProvider::createRule(std::shared_ptr<Rule> rule, ObjectID taskId) {
  return executeWriteOperation(
      [rule = std::move(rule), taskId](ObjectContext& context, DataModifier& modifier,
                                       const ManagedObjectFetcher& fetcher) {
        auto task = fetcher.fetchObject<Task>(taskId);
        auto ruleSet = modifier.ruleSetOf(*task);
        auto copy = modifier.newRule();
        copy->setApplicationPath(rule->applicationPath());
        copy->setFilePath(rule->filePath());
        copy->setTypeValue(rule->typeValue());
        copy->setWebsiteUrl(rule->websiteUrl());
        copy->setText(rule->text());
        copy->setRelationValue(rule->relationValue());
        copy->setIsInActiveWindow(rule->isInActiveWindow());
        copy->setUserInfo(rule->userInfo());
        ruleSet->addToRules(copy);
        context.save();
      });
}

asio::awaitable<void> MainDataProvider::deleteActivityLogs(std::vector<ObjectID> ids) {
  return executeWriteOperation([ids = std::move(ids)](ObjectContext& context,
                                                      DataModifier& modifier,
                                                      const ManagedObjectFetcher& fetcher) {
    for (const auto& id : ids) {
      std::shared_ptr<ManagedObject> object;
      try {
        object = fetcher.context()->existingObject(id);
      } catch (const StoreError&) {
        continue;  // gone already: nothing left to delete
      }
      if (auto entry = std::dynamic_pointer_cast<ALEntry>(object)) {
        modifier.context().performAndWait([&] { modifier.deleteActivityLogEntry(*entry); });
      }
    }
    if (context.hasChanges()) context.save();
  });
}

asio::awaitable<void> MainDataProvider::deleteAllActivityLogs() {
  return executeWriteOperation(
      [](ObjectContext& context, DataModifier& modifier, const ManagedObjectFetcher&) {
        FetchRequest request(ALEntry::kEntityName);
        request.includesSubentities = true;
        for (const auto& object : context.fetch(request)) {
          if (auto entry = std::dynamic_pointer_cast<ALEntry>(object)) {
            context.performAndWait([&] { modifier.deleteActivityLogEntry(*entry); });
          }
        }
        if (context.hasChanges()) context.save();
      });
}

}  // namespace chronelle
