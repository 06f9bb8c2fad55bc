#include <algorithm>
#include <functional>
#include <mutex>
#include <string>
#include <set>
#include <stdexcept>
#include <vector>

#include "chronelle/store/ObjectModel.h"

namespace chronelle {

namespace {

struct Builder {
  std::string name;
  int version = 0;
  std::function<std::shared_ptr<const ObjectModel>()> build;
};

struct Registries {
  std::mutex mutex;
  std::vector<std::shared_ptr<const ObjectModel>> models;
  std::vector<Builder> builders;  // versions not built yet
  std::set<std::string, std::less<>> transformers;
};

Registries& registries() {
  static Registries instance;
  return instance;
}

void checkRegistrable(const std::shared_ptr<const ObjectModel>& model) {
  if (!model || !model->isFinalized()) {
    throw std::logic_error("ModelRegistry: only finalised models can be registered");
  }
}

// Builds and registers the pending version `version` of `name`, if there is one; called
// with the lock held.
void buildPending(Registries& r, std::string_view name, int version) {
  auto it = std::find_if(r.builders.begin(), r.builders.end(),
                         [&](const Builder& b) { return b.name == name && b.version == version; });
  if (it == r.builders.end()) return;
  auto build = std::move(it->build);
  r.builders.erase(it);
  auto model = build();
  checkRegistrable(model);
  if (model->name() != name || model->version() != version) {
    throw std::logic_error("ModelRegistry: the builder of " + std::string(name) + " version " +
                           std::to_string(version) + " built another model");
  }
  r.models.push_back(std::move(model));
}

}  // namespace

void ModelRegistry::registerModel(std::shared_ptr<const ObjectModel> model) {
  checkRegistrable(model);
  auto& r = registries();
  std::lock_guard lock(r.mutex);
  std::erase_if(r.builders, [&](const Builder& b) { return b.name == model->name() && b.version == model->version(); });
  // Registering the same name and version again replaces the earlier model, so a test
  // can register a fresh copy without leaking state between cases.
  std::erase_if(r.models, [&](const auto& m) { return m->name() == model->name() && m->version() == model->version(); });
  r.models.push_back(std::move(model));
}

void ModelRegistry::registerModelBuilder(std::string name, int version,
                                         std::function<std::shared_ptr<const ObjectModel>()> build) {
  auto& r = registries();
  std::lock_guard lock(r.mutex);
  const bool built = std::any_of(r.models.begin(), r.models.end(),
                                 [&](const auto& m) { return m->name() == name && m->version() == version; });
  if (built) return;
  std::erase_if(r.builders, [&](const Builder& b) { return b.name == name && b.version == version; });
  r.builders.push_back(Builder{std::move(name), version, std::move(build)});
}

std::shared_ptr<const ObjectModel> ModelRegistry::find(std::string_view name) {
  auto& r = registries();
  std::lock_guard lock(r.mutex);
  // A pending version newer than every built one is built now.
  int newestVersion = 0;
  bool pending = false;
  for (const auto& m : r.models) {
    if (m->name() == name) newestVersion = std::max(newestVersion, m->version());
  }
  for (const auto& b : r.builders) {
    if (b.name == name && b.version > newestVersion) {
      newestVersion = b.version;
      pending = true;
    }
  }
  if (pending) buildPending(r, name, newestVersion);
  std::shared_ptr<const ObjectModel> newest;
  for (const auto& m : r.models) {
    if (m->name() == name && (!newest || m->version() > newest->version())) newest = m;
  }
  return newest;
}

std::shared_ptr<const ObjectModel> ModelRegistry::find(std::string_view name, int version) {
  auto& r = registries();
  std::lock_guard lock(r.mutex);
  buildPending(r, name, version);
  for (const auto& m : r.models) {
    if (m->name() == name && m->version() == version) return m;
  }
  return nullptr;
}

void ValueTransformerRegistry::registerTransformer(std::string name) {
  auto& r = registries();
  std::lock_guard lock(r.mutex);
  r.transformers.insert(std::move(name));
}

bool ValueTransformerRegistry::isRegistered(std::string_view name) {
  auto& r = registries();
  std::lock_guard lock(r.mutex);
  return r.transformers.find(name) != r.transformers.end();
}

}  // namespace chronelle
