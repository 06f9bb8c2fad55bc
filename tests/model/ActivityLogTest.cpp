#include <gtest/gtest.h>

#include "ModelTestSupport.h"
#include "chronelle/model/BrowserALEntry.h"
#include "chronelle/model/DocumentAppALEntry.h"

namespace chronelle::testing {
namespace {

TEST(ActivityLogTest, EffectiveTimesFallBackToTheClock) {
  ModelStore store;
  auto running = store.context->insert<ALEntry>(ALEntry::kEntityName);
  running->setBegin(store.time.now() - 120);
  store.time.advance(30);
  EXPECT_EQ(std::tuple(running->isRunning(), running->effectiveDuration(),
                       running->dateInterval().end()),
            std::tuple(true, 150.0, store.time.now()));

  auto blank = store.context->insert<ALEntry>(ALEntry::kEntityName);
  EXPECT_EQ(std::tuple(blank->isRunning(), blank->effectiveDuration()), std::tuple(false, 0.0));
  std::string titled;
  for (const char* title : {"", "x"}) titled += (blank->setTitle(title), blank->hasTitle()) ? "y" : "n";
  EXPECT_EQ(titled, "ny");

  auto backwards = store.context->insert<ALEntry>(ALEntry::kEntityName);
  backwards->setBegin(at(10));
  backwards->setEnd(at(9));
  EXPECT_FALSE(backwards->isRunning());
  EXPECT_EQ(backwards->dateInterval(), DateInterval(at(10), at(10)));
}

TEST(ActivityLogTest, SimilarityNeedsTheSameKindApplicationAndPlace) {
  ModelStore store;
  // An entry of the given kind, application and URL (the page's or the document's).
  auto entry = [&](const char* entity, std::optional<std::string> app, const char* url) {
    auto e = store.context->insert<ALEntry>(entity);
    e->setBundleId(std::move(app));
    if (auto b = std::dynamic_pointer_cast<BrowserALEntry>(e); b && url) b->setUrl(Url::parse(url));
    if (auto d = std::dynamic_pointer_cast<DocumentAppALEntry>(e); d && url) d->setDocumentUrl(Url::parse(url));
    return e;
  };
  auto browser = [&](const char* app, const char* url) { return entry(BrowserALEntry::kEntityName, app, url); };
  auto document = [&](const char* app, const char* url) { return entry(DocumentAppALEntry::kEntityName, app, url); };
  auto plain = [&](std::optional<std::string> app) { return entry(ALEntry::kEntityName, std::move(app), nullptr); };
  const struct {
    const char* label;
    std::shared_ptr<ALEntry> a, b;
    bool similar;
  } cases[] = {
      {"pages of one host", browser("b", "https://h.example/1"),
       browser("b", "https://h.example/2?x"), true},
      {"different hosts", browser("b", "https://h.example/1"), browser("b", "https://k.example/1"),
       false},
      {"different browsers", browser("b", "https://h.example/"), browser("c", "https://h.example/"),
       false},
      {"no URLs", browser("b", nullptr), browser("b", nullptr), true},
      {"host-less URL vs none", browser("b", "about:blank"), browser("b", nullptr), true},
      {"browser vs document", browser("b", nullptr), document("b", nullptr), false},
      {"same document", document("d", "file:///a.txt"), document("d", "file:///a.txt"), true},
      {"other document", document("d", "file:///a.txt"), document("d", "file:///b.txt"), false},
      {"plain, both absent", plain(std::nullopt), plain(std::nullopt), true},
      {"plain, one absent", plain("x"), plain(std::nullopt), false},
      {"plain vs browser", plain("b"), browser("b", nullptr), true},
  };
  for (const auto& c : cases) EXPECT_EQ(c.a->isSimilar(*c.b), c.similar) << c.label;
}

}  // namespace
}  // namespace chronelle::testing
