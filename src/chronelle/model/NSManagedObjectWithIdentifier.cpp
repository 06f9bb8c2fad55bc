#include "chronelle/model/NSManagedObjectWithIdentifier.h"

#include "chronelle/store/RandomUUID.h"

namespace chronelle {

std::optional<std::string> NSManagedObjectWithIdentifier::identifier() const {
  return attributeValue(kIdentifierKey).asString();
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
