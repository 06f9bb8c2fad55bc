#include "chronelle/model/NSManagedObjectWithIdentifier.h"

#include "chronelle/store/RandomUUID.h"

namespace chronelle {

namespace {
constinit const PropertyKey kIdentifier{NSManagedObjectWithIdentifier::kIdentifierKey};
}  // namespace

std::optional<std::string> NSManagedObjectWithIdentifier::identifier() const {
  return attributeValue(kIdentifier).asString();
}

void NSManagedObjectWithIdentifier::setIdentifier(std::optional<std::string> identifier) {
  setValue(kIdentifierKey, identifier ? Value(std::move(*identifier)) : Value());
}

void NSManagedObjectWithIdentifier::awakeFromInsert() {
  ManagedObject::awakeFromInsert();
  if (!identifier()) setIdentifier(makeUUIDString());
}

std::string NSManagedObjectWithIdentifier::makeUUIDString() { return randomUUIDString(); }

}  // namespace chronelle
