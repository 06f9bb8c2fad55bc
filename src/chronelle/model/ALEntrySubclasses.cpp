// The browser and document entries: a URL each, stored as text, and the rules that make two
// entries of the same kind similar.
#include "chronelle/model/BrowserALEntry.h"
#include "chronelle/model/DocumentAppALEntry.h"

namespace chronelle {
namespace {

constexpr const char* kType = "type";
constexpr const char* kUrl = "url";
constexpr const char* kDocumentUrl = "documentUrl";

std::optional<Url> readUrl(const ManagedObject& object, const char* key) {
  const auto text = object.value(key).asString();
  return text ? Url::parse(*text) : std::nullopt;
}

Value urlValue(const std::optional<Url>& url) {
  return url ? Value(url->absoluteString()) : Value();
}

// A string under `key` sets the URL (none when it does not parse); anything else keeps it.
void populateUrl(ManagedObject& object, const ValueDictionary& dictionary, const char* key) {
  auto it = dictionary.find(key);
  if (it == dictionary.end()) return;
  const auto* text = it->second.getIf<std::string>();
  if (!text) return;
  object.setValue(key, urlValue(Url::parse(*text)));
}

std::optional<std::string> hostOf(const std::optional<Url>& url) {
  return url ? url->host() : std::nullopt;
}

}  // namespace

std::optional<Url> BrowserALEntry::url() const { return readUrl(*this, kUrl); }
void BrowserALEntry::setUrl(const std::optional<Url>& url) { setValue(kUrl, urlValue(url)); }

bool BrowserALEntry::isSimilar(const ALEntry& other) const {
  const auto* browser = dynamic_cast<const BrowserALEntry*>(&other);
  return browser && ALEntry::isSimilar(other) && hostOf(url()) == hostOf(browser->url());
}

ValueDictionary BrowserALEntry::toDictionary() const {
  ValueDictionary dictionary = ALEntry::toDictionary();
  dictionary[kType] = kDictionaryType;
  if (auto u = url()) dictionary[kUrl] = u->absoluteString();
  return dictionary;
}

void BrowserALEntry::populate(const ValueDictionary& dictionary) {
  ALEntry::populate(dictionary);
  populateUrl(*this, dictionary, kUrl);
}

std::optional<Url> DocumentAppALEntry::documentUrl() const { return readUrl(*this, kDocumentUrl); }
void DocumentAppALEntry::setDocumentUrl(const std::optional<Url>& url) {
  setValue(kDocumentUrl, urlValue(url));
}

bool DocumentAppALEntry::isSimilar(const ALEntry& other) const {
  const auto* document = dynamic_cast<const DocumentAppALEntry*>(&other);
  return document && ALEntry::isSimilar(other) && documentUrl() == document->documentUrl();
}

ValueDictionary DocumentAppALEntry::toDictionary() const {
  ValueDictionary dictionary = ALEntry::toDictionary();
  dictionary[kType] = kDictionaryType;
  if (auto u = documentUrl()) dictionary[kDocumentUrl] = u->absoluteString();
  return dictionary;
}

void DocumentAppALEntry::populate(const ValueDictionary& dictionary) {
  ALEntry::populate(dictionary);
  populateUrl(*this, dictionary, kDocumentUrl);
}

}  // namespace chronelle
