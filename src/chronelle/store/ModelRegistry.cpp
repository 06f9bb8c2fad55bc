#include <mutex>
#include <set>
#include <stdexcept>
#include <vector>

#include "chronelle/store/ObjectModel.h"

namespace chronelle {

namespace {

struct Registries {
  std::mutex mutex;
  std::vector<std::shared_ptr<const ObjectModel>> models;
  std::set<std::string, std::less<>> transformers;
};

Registries& registries() {
  static Registries instance;
  return instance;
}

}  // namespace

void ModelRegistry::registerModel(std::shared_ptr<const ObjectModel> model) {
  if (!model || !model->isFinalized()) {
    throw std::logic_error("ModelRegistry: only finalised models can be registered");
  }
  auto& r = registries();
  std::lock_guard lock(r.mutex);
  // Registering the same name and version again replaces the earlier model, so a test
  // can register a fresh copy without leaking state between cases.
  std::erase_if(r.models, [&](const auto& m) { return m->name() == model->name() && m->version() == model->version(); });
  r.models.push_back(std::move(model));
}

std::shared_ptr<const ObjectModel> ModelRegistry::find(std::string_view name) {
  auto& r = registries();
  std::lock_guard lock(r.mutex);
  std::shared_ptr<const ObjectModel> newest;
  for (const auto& m : r.models) {
    if (m->name() == name && (!newest || m->version() > newest->version())) newest = m;
  }
  return newest;
}

std::shared_ptr<const ObjectModel> ModelRegistry::find(std::string_view name, int version) {
  auto& r = registries();
  std::lock_guard lock(r.mutex);
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
