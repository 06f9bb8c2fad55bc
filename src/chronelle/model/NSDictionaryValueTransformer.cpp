#include "chronelle/model/NSDictionaryValueTransformer.h"

#include <nlohmann/json.hpp>

#include "chronelle/store/ObjectModel.h"

namespace chronelle {
namespace {

using nlohmann::json;

constexpr const char* kDateTag = "date";
constexpr const char* kObjectIDTag = "objectID";

json toJson(const Value& value) {
  return std::visit(
      [](const auto& v) -> json {
        using T = std::decay_t<decltype(v)>;
        if constexpr (std::is_same_v<T, std::monostate>) {
          return nullptr;
        } else if constexpr (std::is_same_v<T, Date>) {
          return json::object({{kDateTag, v.microsecondsSince1970()}});
        } else if constexpr (std::is_same_v<T, Blob>) {
          return json::binary(v);
        } else if constexpr (std::is_same_v<T, ObjectID>) {
          return json::object({{kObjectIDTag, v.uriRepresentation()}});
        } else if constexpr (std::is_same_v<T, Value::List>) {
          json array = json::array();
          for (const auto& element : v) array.push_back(toJson(element));
          return array;
        } else {
          return v;  // bool, int64, double, string
        }
      },
      value.storage());
}

// Absent for JSON that no Value can hold (a map other than the two tags).
std::optional<Value> fromJson(const json& j) {
  switch (j.type()) {
    case json::value_t::null:
      return Value();
    case json::value_t::boolean:
      return Value(j.get<bool>());
    case json::value_t::number_integer:
      return Value(j.get<std::int64_t>());
    case json::value_t::number_unsigned: {
      const auto u = j.get<std::uint64_t>();
      if (u > static_cast<std::uint64_t>(INT64_MAX)) return Value(static_cast<double>(u));
      return Value(static_cast<std::int64_t>(u));
    }
    case json::value_t::number_float:
      return Value(j.get<double>());
    case json::value_t::string:
      return Value(j.get<std::string>());
    case json::value_t::binary:
      return Value(Blob(j.get_binary().begin(), j.get_binary().end()));
    case json::value_t::array: {
      Value::List list;
      for (const auto& element : j) {
        auto v = fromJson(element);
        if (!v) return std::nullopt;
        list.push_back(std::move(*v));
      }
      return Value(std::move(list));
    }
    case json::value_t::object: {
      if (j.size() != 1) return std::nullopt;
      if (auto it = j.find(kDateTag); it != j.end() && it->is_number_integer()) {
        return Value(Date::fromMicroseconds(it->get<std::int64_t>()));
      }
      if (auto it = j.find(kObjectIDTag); it != j.end() && it->is_string()) {
        auto id = ObjectID::fromURI(it->get<std::string>());
        if (!id) return std::nullopt;
        return Value(std::move(*id));
      }
      return std::nullopt;
    }
    case json::value_t::discarded:
      break;
  }
  return std::nullopt;
}

}  // namespace

Blob NSDictionaryValueTransformer::encode(const ValueDictionary& dictionary) {
  json map = json::object();
  for (const auto& [key, value] : dictionary) map[key] = toJson(value);
  return json::to_cbor(map);
}

std::optional<ValueDictionary> NSDictionaryValueTransformer::decode(const Blob& data) {
  // Strict: data with bytes after the map is not one of ours.
  json map = json::from_cbor(data, /*strict=*/true, /*allow_exceptions=*/false);
  if (!map.is_object()) return std::nullopt;
  ValueDictionary dictionary;
  for (const auto& [key, element] : map.items()) {
    auto value = fromJson(element);
    if (!value) return std::nullopt;
    dictionary.emplace(key, std::move(*value));
  }
  return dictionary;
}

std::optional<Blob> NSDictionaryValueTransformer::transformedValue(const std::any& value) {
  const auto* dictionary = std::any_cast<ValueDictionary>(&value);
  if (!dictionary) return std::nullopt;
  return encode(*dictionary);
}

std::optional<ValueDictionary> NSDictionaryValueTransformer::reverseTransformedValue(
    const std::any& value) {
  if (const auto* data = std::any_cast<Blob>(&value)) return decode(*data);
  if (const auto* stored = std::any_cast<Value>(&value)) {
    if (const auto* data = stored->getIf<Blob>()) return decode(*data);
  }
  return std::nullopt;
}

void NSDictionaryValueTransformer::registerTransformer() {
  ValueTransformerRegistry::registerTransformer(kName);
}

}  // namespace chronelle
