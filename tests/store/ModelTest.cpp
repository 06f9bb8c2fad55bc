#include <gtest/gtest.h>

#include <algorithm>

#include "StoreTestModel.h"
#include "chronelle/store/EntityLayout.h"

namespace chronelle::testing {
namespace {

AttributeDescription text(std::string name) { return AttributeDescription{std::move(name), AttributeType::string, true, Value(), ""}; }
RelationshipDescription link(std::string name, std::string to, std::string inverse, bool toMany) {
  return RelationshipDescription{std::move(name), std::move(to), std::move(inverse), toMany, true, DeleteRule::nullify};
}

TEST(ModelTest, FinalizeRefusesInconsistentModelsNamingTheFault) {
  struct Case {
    const char* label;
    std::vector<EntityDescription> entities;
    const char* mentions;
  };
  const std::vector<Case> cases = {
      {"unknown parent", {EntityDescription("A", "Missing")}, "Missing"},
      {"inheritance cycle", {EntityDescription("A", "B"), EntityDescription("B", "A")}, "inherits from itself"},
      {"repeated property", {EntityDescription("A").add(text("x")), EntityDescription("B", "A").add(text("x"))}, "x"},
      {"unknown destination", {EntityDescription("A").add(link("b", "B", "a", false))}, "B"},
      {"missing inverse", {EntityDescription("A").add(link("b", "B", "a", false)), EntityDescription("B")}, "inverse"},
      {"inverse pointing elsewhere",
       {EntityDescription("A").add(link("b", "B", "a", false)), EntityDescription("B").add(link("a", "A", "c", true))},
       "point at each other"},
      {"many-to-many",
       {EntityDescription("A").add(link("b", "B", "a", true)), EntityDescription("B").add(link("a", "A", "b", true))},
       "many-to-many"},
      {"transformable without transformer",
       {EntityDescription("A").add(AttributeDescription{"info", AttributeType::transformable, true, Value(), ""})},
       "transformer"},
      {"index of an unknown attribute", {EntityDescription("A").addIndex("nothing")}, "nothing"},
      {"bad name", {EntityDescription("A b")}, "identifier"},
  };
  for (const auto& c : cases) {
    ObjectModel model("Broken", 1);
    for (const auto& entity : c.entities) model.addEntity(entity);
    try {
      model.finalize();
      ADD_FAILURE() << c.label << ": accepted";
    } catch (const std::logic_error& e) {
      EXPECT_NE(std::string(e.what()).find(c.mentions), std::string::npos) << c.label << ": " << e.what();
    }
  }
  EXPECT_THROW(ObjectModel("Twice", 1).addEntity(EntityDescription("A")).addEntity(EntityDescription("A")),
               std::logic_error);
}

TEST(ModelTest, InheritanceSharesOneTablePerRoot) {
  auto model = makeTestModel();
  const auto& spot = *model->entity("Spot");
  const auto& place = *model->entity("Place");
  EXPECT_TRUE(spot.isKindOf(place) && !place.isKindOf(spot));
  EXPECT_EQ(spot.layout().table, model->entity("Area")->layout().table);
  EXPECT_NE(spot.layout().table, model->entity("Visit")->layout().table);
  EXPECT_EQ(place.layout().selfAndDescendants.size(), 3u);
  // Attributes (inherited first), then to-one relationships; to-many ones are derived.
  std::vector<std::string> slots;
  for (const auto& slot : spot.layout().slots) slots.push_back(slot.name);
  EXPECT_EQ(slots, (std::vector<std::string>{"name", "rank", "identifier", "open", "area"}));
  EXPECT_EQ(std::vector({spot.layout().toManyIndex("badges"), spot.layout().toManyIndex("visits"),
                         spot.layout().toManyIndex("places")}), std::vector({0, 1, -1}));
  // The shared table has the union of the columns, foreign keys and declared attributes
  // indexed; a to-one to the Place tree carries the related entity's code beside its key.
  auto columns = [](const EntityDescription& entity) {
    std::vector<std::string> names;
    for (const auto& column : entity.layout().table->columns) names.push_back(column.name + (column.indexed ? "*" : ""));
    return names;
  };
  EXPECT_EQ(columns(place), (std::vector<std::string>{"ZNAME", "ZRANK*", "ZIDENTIFIER*", "ZAREA*", "ZKEEPER*", "ZOPEN"}));
  EXPECT_EQ(columns(*model->entity("Badge")), (std::vector<std::string>{"ZLABEL", "ZKEEPER*", "ZPLACE*", "ZPLACE_ENT"}));

  // A name finds its own slot in every layout, also in one made where a freed model's layout
  // was, with the name in another slot; so does a key that remembers the slot it found last,
  // read from objects of each in turn.
  static const PropertyKey kName{"name"};
  auto spotObject = model->instantiate(spot);
  spotObject->setValue("name", "spot");
  for (int round = 0; round < 6; ++round) {
    auto other = std::make_shared<ObjectModel>("Other", 1);
    EntityDescription thing("Thing");
    if (round % 2 == 1) thing.add(attribute("before", AttributeType::string));
    thing.add(attribute("name", AttributeType::string));
    other->addEntity(std::move(thing));
    other->finalize();
    EXPECT_EQ(other->entity("Thing")->layout().slot("name"), round % 2) << "round " << round;
    EXPECT_EQ(spot.layout().slot("name"), 0) << "round " << round;
    auto thingObject = other->instantiate(*other->entity("Thing"));
    thingObject->setValue("name", "thing " + std::to_string(round));
    for (int read = 0; read < 2; ++read) {
      EXPECT_EQ(thingObject->attributeValue(kName), Value("thing " + std::to_string(round))) << "round " << round;
      EXPECT_EQ(spotObject->attributeValue(kName), Value("spot")) << "round " << round;
    }
  }
  EXPECT_THROW(spotObject->attributeValue(PropertyKey("nothing")), std::invalid_argument);
  // Every name finds its slot, and a name one letter off (or longer, or shorter) finds one
  // only where it is the name of another.
  for (const auto& entity : model->entities()) {
    const auto& layout = entity->layout();
    for (std::size_t i = 0; i < layout.slots.size(); ++i) {
      const std::string& name = layout.slots[i].name;
      EXPECT_EQ(layout.slot(name), static_cast<int>(i)) << entity->name() << "." << name;
      std::vector<std::string> near = {name + "s", name.substr(0, name.size() - 1), "", name};
      near.back()[name.size() / 2 + (name.size() > 2 ? 1 : 0)] ^= 0x20;
      for (const auto& probe : near) {
        const auto it = std::find_if(layout.slots.begin(), layout.slots.end(),
                                     [&](const PropertySlot& slot) { return slot.name == probe; });
        EXPECT_EQ(layout.slot(probe), it == layout.slots.end() ? -1 : static_cast<int>(it - layout.slots.begin()))
            << entity->name() << ": \"" << probe << "\"";
      }
    }
  }
}

TEST(ModelTest, SchemaHashFollowsTheStoredShapeAndTheRegistryFindsVersions) {
  const auto v1 = makeTestModel();
  const auto v2 = makeTestModel(true);
  EXPECT_EQ(v1->schemaHash(), makeTestModel()->schemaHash());
  EXPECT_NE(v1->schemaHash(), v2->schemaHash());

  ModelRegistry::registerModel(v2);
  ModelRegistry::registerModel(v1);
  EXPECT_EQ(ModelRegistry::find("StoreTest"), v2);
  EXPECT_EQ(ModelRegistry::find("StoreTest", 1), v1);
  EXPECT_EQ(ModelRegistry::find("StoreTest", 3), nullptr);
  EXPECT_EQ(ModelRegistry::find("Nothing"), nullptr);
  EXPECT_THROW(ModelRegistry::registerModel(std::make_shared<ObjectModel>("Unfinished", 1)), std::logic_error);
}

// Model versions registered as builders: built on their first look-up, once, and never in
// place of a model registered as such.
TEST(ModelTest, BuildersRunOnFirstLookUpOnlyAndYieldToRegisteredModels) {
  const auto lazy = [](int version) {
    auto model = std::make_shared<ObjectModel>("Lazy", version);
    model->addEntity(EntityDescription("Thing").add(text("name"))).finalize();
    return std::shared_ptr<const ObjectModel>(model);
  };
  int builds = 0;
  const auto counted = [&](int version) {
    return [&, version] {
      ++builds;
      return lazy(version);
    };
  };
  ModelRegistry::registerModel(lazy(2));
  ModelRegistry::registerModelBuilder("Lazy", 1, counted(1));
  EXPECT_EQ(ModelRegistry::find("Lazy")->version(), 2);
  EXPECT_EQ(builds, 0) << "an older version is built only when asked for";
  const auto first = ModelRegistry::find("Lazy", 1);
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(std::tuple(first->version(), ModelRegistry::find("Lazy", 1), builds),
            std::tuple(1, first, 1));

  // A registered model replaces a pending builder, and a builder never replaces a model.
  const auto registered = lazy(4);
  ModelRegistry::registerModelBuilder("Lazy", 4, counted(4));
  ModelRegistry::registerModel(registered);
  ModelRegistry::registerModelBuilder("Lazy", 4, counted(4));
  EXPECT_EQ(std::tuple(ModelRegistry::find("Lazy", 4), builds), std::tuple(registered, 1));

  // A builder that builds another version is a programming error, reported on look-up.
  ModelRegistry::registerModelBuilder("Lazy", 5, [&] { return lazy(6); });
  EXPECT_THROW(ModelRegistry::find("Lazy", 5), std::logic_error);
}

}  // namespace
}  // namespace chronelle::testing
