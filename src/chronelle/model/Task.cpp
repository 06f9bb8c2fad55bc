#include "chronelle/model/Task.h"

#include "chronelle/model/RuleSet.h"
#include "chronelle/model/Session.h"

namespace chronelle {
namespace {

constexpr const char* kSessions = "sessions";
constinit const PropertyKey kNotes{"notes"};
constinit const PropertyKey kRuleSet{"ruleSet"};

}  // namespace

std::vector<std::shared_ptr<Session>> Task::sessions() const {
  std::vector<std::shared_ptr<Session>> result;
  for (const auto& object : objects(kSessions)) {
    if (auto session = std::dynamic_pointer_cast<Session>(object))
      result.push_back(std::move(session));
  }
  return result;
}
void Task::addToSessions(const std::shared_ptr<Session>& session) { addObject(kSessions, session); }
void Task::removeFromSessions(const std::shared_ptr<Session>& session) {
  removeObject(kSessions, session);
}

std::optional<std::string> Task::notes() const { return attributeValue(kNotes).asString(); }
void Task::setNotes(std::optional<std::string> notes) {
  setValue(kNotes, notes ? Value(std::move(*notes)) : Value());
}

std::shared_ptr<RuleSet> Task::ruleSet() const {
  return std::dynamic_pointer_cast<RuleSet>(object(kRuleSet));
}
void Task::setRuleSet(const std::shared_ptr<RuleSet>& ruleSet) { setObject(kRuleSet, ruleSet); }

void Task::setHasBlacklistedMatch(bool match) {
  willChangeValue("hasBlacklistedMatch");
  hasBlacklistedMatch_ = match;
  didChangeValue("hasBlacklistedMatch");
}

}  // namespace chronelle
