#include <gtest/gtest.h>

#include <fstream>

#include "ModelTestSupport.h"
#include "chronelle/model/JetbrainsToolbox.h"
#include "chronelle/model/Rule.h"
#include "chronelle/model/RuleCombination.h"
#include "chronelle/model/RuleSet.h"
#include "chronelle/platform/Localizer.h"

namespace chronelle::testing {
namespace {

class RuleTest : public ::testing::Test {
 protected:
  ModelStore store;
  std::shared_ptr<Rule> rule = store.context->insert<Rule>(Rule::kEntityName);
};

TEST_F(RuleTest, StoredIndexesReadAsTheirCasesOrTheStatedFallbacks) {
  auto set = store.context->insert<RuleSet>(RuleSet::kEntityName);
  EXPECT_TRUE(set->active());  // a new set takes part
  const struct {
    int index;
    RuleSet::StartDelay start;
    RuleSet::PauseDelay pause;
    double startSeconds;
  } delays[] = {
      {0, RuleSet::StartDelay::for30sec, RuleSet::PauseDelay::for30sec, 30},
      {4, RuleSet::StartDelay::immediately, RuleSet::PauseDelay::for10sec, 0},
      {5, RuleSet::StartDelay::for10sec, RuleSet::PauseDelay::for10sec, 10},
      {9, RuleSet::StartDelay::for10sec, RuleSet::PauseDelay::for10sec, 10},
      {-1, RuleSet::StartDelay::for10sec, RuleSet::PauseDelay::for10sec, 10},
  };
  for (const auto& d : delays) {
    set->setStartDelayIndex(static_cast<std::int16_t>(d.index));
    set->setPauseDelayIndex(static_cast<std::int16_t>(d.index));
    EXPECT_EQ(std::tuple(set->startDelay(), set->pauseDelay(), set->startDelay().interval()),
              std::tuple(d.start, d.pause, d.startSeconds)) << "index " << d.index;
  }
  const struct {
    int index;
    RuleSet::StartType start;
    RuleSet::PauseType pause;
  } types[] = {
      {0, RuleSet::StartType::notify, RuleSet::PauseType::none},
      {1, RuleSet::StartType::active, RuleSet::PauseType::notify},
      {2, RuleSet::StartType::active, RuleSet::PauseType::active},
      {7, RuleSet::StartType::active, RuleSet::PauseType::active},
      {-1, RuleSet::StartType::active, RuleSet::PauseType::active},
  };
  for (const auto& t : types) {
    set->setStartTypeIndex(static_cast<std::int16_t>(t.index));
    set->setPauseTypeIndex(static_cast<std::int16_t>(t.index));
    EXPECT_EQ(std::tuple(set->startType(), set->pauseType()), std::tuple(t.start, t.pause))
        << t.index;
  }
  set->setStartDelay(RuleSet::StartDelay::for10sec);
  set->setPauseType(RuleSet::PauseType::notify);
  EXPECT_EQ(std::tuple(set->startDelayIndex(), set->pauseTypeIndex()), std::tuple(5, 1));

  const struct {
    int raw;
    TextMatchRelation text;
    FileMatchRelation file;
    int type;
  } relations[] = {
      {0, TextMatchRelation::isExact, FileMatchRelation::pathIs, 0},
      {3, TextMatchRelation::endsWith, FileMatchRelation::nameMatchesRegex, 3},
      {4, TextMatchRelation::contains, FileMatchRelation::pathMatchesRegex, 4},
      {8, TextMatchRelation::contains, FileMatchRelation::pathIs, 8},
      {9, TextMatchRelation::contains, FileMatchRelation::pathIs, 6},
      {-2, TextMatchRelation::contains, FileMatchRelation::pathIs, 6},
  };
  for (const auto& r : relations) {
    rule->setRelationValue(static_cast<std::int16_t>(r.raw));
    rule->setTypeValue(static_cast<std::int16_t>(r.raw));
    EXPECT_EQ(std::tuple(rule->textMatchRelation(), rule->fileMatchRelation(),
                         rule->type().rawValue()),
              std::tuple(r.text, r.file, r.type)) << "raw " << r.raw;
  }
  rule->setFileMatchRelation(FileMatchRelation::nameContains);
  EXPECT_EQ(rule->relationValue(), 1);
}

TEST_F(RuleTest, DelaysListTheirCasesInTableOrderWithLocalisedLabels) {
  std::string start, pause;
  for (auto d : RuleSet::StartDelay::allCases()) {
    start += std::to_string(d.rawValue()) + ":" + std::to_string(d.intervalInMinutes()) + ":" +
             d.localizedLabel() + ", ";
  }
  for (auto d : RuleSet::PauseDelay::allCases()) pause += d.localizedLabel() + ", ";
  EXPECT_EQ(start,
            "4:0:immediately, 5:0:for 10 seconds, 0:0:for 30 seconds, 1:1:for 1 minute, "
            "2:3:for 3 minutes, 3:5:for 5 minutes, ");
  EXPECT_EQ(pause, "for 10 seconds, for 30 seconds, for 1 minute, for 3 minutes, for 5 minutes, ");

  Localizer::setTable({{"for %i seconds", "%i Sekunden lang"}, {"for %i minutes", "%i min"}});
  EXPECT_EQ(RuleSet::PauseDelay(RuleSet::PauseDelay::for30sec).localizedLabel(),
            "30 Sekunden lang");
  EXPECT_EQ(RuleSet::StartDelay(RuleSet::StartDelay::for5min).localizedLabel(), "5 min");
  Localizer::reset();
}

TEST_F(RuleTest, UserInfoEditsACopy) {
  EXPECT_EQ(rule->userInfoDict(), std::nullopt);
  rule->setUserInfo(Value(), "missing");
  EXPECT_EQ(rule->userInfoDict(), ValueDictionary{});  // removing from nothing stores an empty one
  rule->setUserInfo(Value("Safari"), "app"), rule->setUserInfo(Value(4), "count");
  rule->setUserInfo(Value(), "app");
  EXPECT_EQ(rule->userInfo(), (ValueDictionary{{"count", 4}}));

  // Data that is not a dictionary reads as none and is replaced on the next edit.
  rule->setValue("userInfo", Blob{0xFF, 0x00, 0x13});
  EXPECT_EQ(rule->userInfoDict(), std::nullopt);
  rule->setUserInfo(Value(true), "flag");
  EXPECT_EQ(rule->userInfo(), (ValueDictionary{{"flag", true}}));
}

TEST_F(RuleTest, CombinationListsChildrenByOrderKeepingTiesInStoreOrder) {
  auto combination = store.context->insert<RuleCombination>(RuleCombination::kEntityName);
  EXPECT_TRUE(combination->childrenArray().empty());
  std::vector<std::shared_ptr<Rule>> rules;
  for (int order : {2, 0, 1, 0}) {
    rules.push_back(store.context->insert<Rule>(Rule::kEntityName));
    rules.back()->setOrder(static_cast<std::int16_t>(order));
    rules.back()->setParent(combination);
  }
  EXPECT_EQ(combination->childrenArray(), (std::vector<std::shared_ptr<RuleBase>>{rules[1], rules[3], rules[2], rules[0]}));
}

TEST_F(RuleTest, BundleIdentifiersComeFromToolboxNamesOrTheBundlesInfoPlist) {
  const std::string box = "/Users/me/Applications/JetBrains Toolbox/";
  const std::pair<std::string, std::optional<std::string>> toolbox[] = {
      {box + "IntelliJ IDEA Community Edition.app", "com.jetbrains.intellij.ce"},
      {box + "PyCharm Community Edition.app/", "com.jetbrains.pycharm.ce"},
      {box + "Toolbox.app", std::nullopt},
      {"/Applications/PyCharm Professional.app", std::nullopt},
      {"/Users/me/Applications/jetbrains toolbox/Rider.app", std::nullopt},
  };
  for (const auto& [path, id] : toolbox) EXPECT_EQ(bundleIdFromJetbrainsToolboxActivatorApplication(path), id) << path;

  EXPECT_EQ(rule->bundleId(), std::nullopt);
  const auto bundle = store.directory.file("Editor.app");
  std::filesystem::create_directories(bundle / "Contents");
  rule->setApplicationPath(bundle.string());
  EXPECT_EQ(rule->bundleId(), std::nullopt);  // no Info.plist
  std::ofstream(bundle / "Contents" / "Info.plist")
      << "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<plist version=\"1.0\"><dict>\n"
         "  <key>CFBundleName</key><string>Editor</string>\n"
         "  <key>CFBundleIdentifier</key>\n  <!-- the id -->\n  "
         "<string>org.example.edit&amp;go&#x4A;&#6A;&#xG;&#x4:;</string>\n"
         "</dict></plist>\n";
  // Numeric references are resolved only when every digit belongs to their base.
  EXPECT_EQ(rule->bundleId(), "org.example.edit&goJ&#6A;&#xG;&#x4:;");
  rule->setApplicationPath(box + "GoLand.app");
  EXPECT_EQ(rule->bundleId(), "com.jetbrains.goland");
}

}  // namespace
}  // namespace chronelle::testing
