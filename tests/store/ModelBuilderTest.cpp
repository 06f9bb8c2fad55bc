// Model versions registered as builders: built on their first look-up, once, and never in
// place of a model registered as such.

#include <gtest/gtest.h>

#include <memory>

#include "chronelle/store/ObjectModel.h"

namespace chronelle::testing {
namespace {

std::shared_ptr<const ObjectModel> model(const char* name, int version) {
  auto m = std::make_shared<ObjectModel>(name, version);
  m->addEntity(EntityDescription("Thing").add(AttributeDescription{"name", AttributeType::string, true, {}, ""}));
  m->finalize();
  return m;
}

TEST(ModelBuilderTest, BuildsOnFirstLookUpOnlyAndYieldsToRegisteredModels) {
  int builds = 0;
  ModelRegistry::registerModel(model("Lazy", 2));
  ModelRegistry::registerModelBuilder("Lazy", 1, [&] {
    ++builds;
    return model("Lazy", 1);
  });
  EXPECT_EQ(ModelRegistry::find("Lazy")->version(), 2);
  EXPECT_EQ(builds, 0) << "an older version is built only when asked for";
  const auto first = ModelRegistry::find("Lazy", 1);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(first->version(), 1);
  EXPECT_EQ(ModelRegistry::find("Lazy", 1), first);
  EXPECT_EQ(builds, 1);

  // A registered model replaces a pending builder, and a builder never replaces a model.
  const auto registered = model("Lazy", 4);
  const auto counted = [&] {
    ++builds;
    return model("Lazy", 4);
  };
  ModelRegistry::registerModelBuilder("Lazy", 4, counted);
  ModelRegistry::registerModel(registered);
  ModelRegistry::registerModelBuilder("Lazy", 4, counted);
  EXPECT_EQ(ModelRegistry::find("Lazy", 4), registered);
  EXPECT_EQ(builds, 1);

  // A builder that builds another version is a programming error, reported on look-up.
  ModelRegistry::registerModelBuilder("Lazy", 5, [] { return model("Lazy", 6); });
  EXPECT_THROW(ModelRegistry::find("Lazy", 5), std::logic_error);
}

}  // namespace
}  // namespace chronelle::testing
