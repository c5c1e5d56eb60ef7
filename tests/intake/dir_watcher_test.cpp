#include "intake/dir_watcher.h"

#include <QCoreApplication>
#include <QThread>

#include <gtest/gtest.h>
#include <sys/inotify.h>

#include <atomic>
#include <cstdio>
#include <filesystem>
#include <mutex>

#include "intake/inotify_decoder.h"
#include "intake/list_box_handler.h"
#include "pump.h"
#include "support/temp_home.h"

namespace qel::intake {
namespace {

using test::pumpUntil;
using test::TempHome;
namespace fs = std::filesystem;

constexpr std::uint32_t kQueueFilter = kNotifyFileName | kNotifyAttributes | kNotifySize | kNotifyLastWrite |
                                       kNotifyLastAccess | kNotifyCreation | kNotifySecurity;

class Recorder : public CDirectoryChangeHandler {
 public:
  void OnFileAdded(const QString& p) override { add("added " + p); }
  void OnFileRemoved(const QString& p) override { add("removed " + p); }
  void OnNameChange(const QString& a, const QString& b) override { add("renamed " + a + " -> " + b); }
  void OnFileModified(const QString& p) override { add("modified " + p); }
  void OnFileWritten(const QString& p, bool closed) override { add((closed ? "closed " : "written ") + p); }
  void OnReadError(int e, const QString& d) override { add(QString("read-error %1 ").arg(e) + d); }
  void OnWatchStarted(int e, const QString& d) override { add(QString("started %1 ").arg(e) + d); }
  void OnWatchStopped(const QString& d) override { add("stopped " + d); }
  bool OnFilterTest(int, const QString& p, const QString&) override {
    ++filterAsked;
    return !p.endsWith(".skip");
  }

  QStringList events() { std::lock_guard<std::mutex> l(m); return list; }
  bool has(const QString& e) { return events().contains(e); }
  void clear() { std::lock_guard<std::mutex> l(m); list.clear(); }
  int filterAsked = 0;
  std::atomic<bool> offMainThread{false};
  std::atomic<bool>* gone = nullptr;  // set when the handler is deleted
  ~Recorder() override {
    if (gone) *gone = true;
  }

 private:
  void add(const QString& e) {
    std::lock_guard<std::mutex> l(m);
    if (QThread::currentThread() != QCoreApplication::instance()->thread()) offMainThread = true;
    list << e;
  }
  std::mutex m;
  QStringList list;
};

void touch(const std::string& path) { std::FILE* f = std::fopen(path.c_str(), "wb"); if (f) std::fclose(f); }

// A watcher on a fresh folder HOME/w with a recording handler, under the queue's filter.
struct Watched {
  explicit Watched(bool onInterfaceThread, std::uint32_t flags = 0, bool subFolders = false)
      : w(onInterfaceThread, kFilterNoTest | kFilterNeverAskAfter | flags) {
    fs::create_directories(home.file("w/a/deep"));
    EXPECT_EQ(w.StartWatching(dir, kQueueFilter, h.get(), subFolders), 0);
  }
  bool saw(const QString& event) { return pumpUntil([&] { return h->has(event); }); }
  TempHome home;
  QString dir = QString::fromStdString(home.file("w"));
  CDirectoryChangeWatcher w;
  CountedRef<Recorder> h = makeHandler<Recorder>();
};

TEST(DirWatcher, StartErrors) {
  TempHome home;
  home.writeFile("file.plt", "x");
  CDirectoryChangeWatcher w(true);
  auto h = makeHandler<Recorder>();
  QString dir = QString::fromStdString(home.path());
  EXPECT_EQ(w.StartWatching("", kQueueFilter, h.get(), false), 87);
  EXPECT_EQ(w.StartWatching(dir, 0, h.get(), false), 87);
  EXPECT_EQ(w.StartWatching(dir, kQueueFilter, nullptr, false), 87);
  EXPECT_EQ(w.StartWatching(dir + "/file.plt", kQueueFilter, h.get(), false), 161);
  EXPECT_EQ(w.StartWatching(dir + "/missing", kQueueFilter, h.get(), false), 161);
  EXPECT_FALSE(w.IsWatching(dir + "/file.plt"));
  EXPECT_EQ(w.StartWatching(dir, kQueueFilter, h.get(), false), 0);
  EXPECT_TRUE(w.IsWatching(dir) && w.IsWatching(dir + "/"));
  EXPECT_EQ(w.SetFilterFlags(0), std::uint32_t{kFilterTestNameOnly});
  EXPECT_TRUE(w.StopWatching(dir));
  EXPECT_FALSE(w.StopWatching(dir));
}

TEST(DirWatcher, ReportsChangesOnInterfaceThreadWithRenamePairs) {
  Watched x(true);
  auto& [home, dir, w, h] = x;
  EXPECT_TRUE(x.saw("started 0 " + dir));
  // Moves into and out of the folder are the event decoder's test.
  touch(home.file("w/a.tmp"));
  fs::rename(home.file("w/a.tmp"), home.file("w/a.plt"));
  fs::remove(home.file("w/a.plt"));
  ASSERT_TRUE(x.saw("removed " + dir + "/a.plt"));
  QStringList names = h->events();
  names.removeIf([](const QString& e) { return e.startsWith("modified") || e.startsWith("written") || e.startsWith("closed"); });
  EXPECT_EQ(names, (QStringList{"started 0 " + dir, "added " + dir + "/a.tmp", "renamed " + dir + "/a.tmp -> " + dir + "/a.plt",
                                "removed " + dir + "/a.plt"}));
  EXPECT_FALSE(h->offMainThread);

  // Writing a file, then its writer closing it: the settle rule of the queue waits for the close.
  h->clear();
  home.writeFile("w/c.plt", "content");
  EXPECT_TRUE(x.saw("closed " + dir + "/c.plt"));
  const QStringList events = h->events();
  EXPECT_TRUE(events.contains("modified " + dir + "/c.plt"));
  const auto written = events.indexOf("written " + dir + "/c.plt");
  EXPECT_TRUE(written >= 0 && written < events.indexOf("closed " + dir + "/c.plt")) << events.join('\n').toStdString();

  EXPECT_TRUE(w.StopWatching(dir));
  EXPECT_TRUE(h->has("stopped " + dir));
}

TEST(DirWatcher, SubFoldersIncludingNewOnes) {
  Watched x(true, kFilterNoStarted | kFilterNoStopped, true);
  auto& [home, dir, w, h] = x;
  touch(home.file("w/a/deep/x.plt"));
  EXPECT_TRUE(x.saw("added " + dir + "/a/deep/x.plt"));
  // A new or renamed folder gets its watch when the worker sees it: files are made in it, one
  // after another, until one is reported.
  const auto filesReportedIn = [&](const std::string& sub) {
    int n = 0;
    const QString prefix = "added " + dir + "/" + QString::fromStdString(sub) + "/probe";
    return pumpUntil([&] {
      touch(home.file("w/" + sub + "/probe" + std::to_string(n++) + ".plt"));
      return !h->events().filter(prefix).isEmpty();
    });
  };
  fs::create_directories(home.file("w/b"));
  EXPECT_TRUE(filesReportedIn("b"));
  fs::rename(home.file("w/b"), home.file("w/c"));
  EXPECT_TRUE(filesReportedIn("c"));
  // Folder events themselves are not reported under the queue's filter.
  for (const QString& e : h->events()) EXPECT_FALSE(e.endsWith("/b") || e.endsWith("/a")) << e.toStdString();
}

TEST(DirWatcher, FilterFlags) {
  TempHome home;
  QString dir = QString::fromStdString(home.path());
  CDirectoryChangeWatcher w(true);
  auto h = makeHandler<Recorder>();
  // Name-only tests with include/exclude lists; OnFilterTest asked first.
  w.SetFilterFlags(kFilterTestNameOnly | kFilterAskFirst | kFilterNoStarted);
  ASSERT_EQ(w.StartWatching(dir, kQueueFilter, h.get(), false, "*.plt;*.HPG", "keep*"), 0);
  for (const char* f : {"a.hpg", "a.txt", "keep.plt", "b.plt.skip", "z.plt"}) touch(home.file(f));
  ASSERT_TRUE(pumpUntil([&] { return h->has("added " + dir + "/z.plt"); }));
  EXPECT_EQ(h->events().filter("added"), (QStringList{"added " + dir + "/a.hpg", "added " + dir + "/z.plt"}));
  EXPECT_GE(h->filterAsked, 5);
  // A rename passes when the new name matches.
  fs::rename(home.file("a.txt"), home.file("c.plt"));
  EXPECT_TRUE(pumpUntil([&] { return h->has("renamed " + dir + "/a.txt -> " + dir + "/c.plt"); }));
  w.StopAll();
}

TEST(DirWatcher, WithoutInterfaceRunsOnNotificationThreadAndAVanishedFolderEndsTheWatch) {
  Watched x(false);
  auto& [home, dir, w, h] = x;
  touch(home.file("w/x.plt"));
  EXPECT_TRUE(x.saw("added " + dir + "/x.plt"));
  EXPECT_TRUE(h->offMainThread);
  // The stopped notification is run before StopWatching returns.
  EXPECT_TRUE(w.StopWatching(dir));
  EXPECT_TRUE(h->has("stopped " + dir));
  // A vanished folder ends the watch with a read error; it can be watched again once it is back.
  ASSERT_EQ(w.StartWatching(dir, kQueueFilter, h.get(), false), 0);
  fs::remove_all(home.file("w"));
  EXPECT_TRUE(x.saw("read-error 2 " + dir));
  EXPECT_TRUE(pumpUntil([&] { return !w.IsWatching(dir); }));
  fs::create_directories(home.file("w"));
  EXPECT_EQ(w.StartWatching(dir, kQueueFilter, h.get(), false), 0);
}

TEST(DirWatcher, HandlerLivesUntilItsLastHolderLetsGo) {
  TempHome home;
  QString dir = QString::fromStdString(home.path());
  std::atomic<bool> gone{false};
  {
    CDirectoryChangeWatcher w(true);
    auto h = makeHandler<Recorder>();
    h->gone = &gone;
    ASSERT_EQ(w.StartWatching(dir, kQueueFilter, h.get(), false), 0);
    EXPECT_TRUE(w.StopWatching(dir));  // the stopped notification runs here, on this thread
    h = {};
    // The started notification is still queued and keeps the handler alive.
    EXPECT_FALSE(gone);
  }
  // Dropped unrun (as when the event loop ends), it lets go of the handler: nothing leaks.
  QCoreApplication::removePostedEvents(QCoreApplication::instance());
  EXPECT_TRUE(gone);
}

TEST(EventDecoder, RenamePairSplitOverTwoReads) {
  // Each event as "kind name[>new name]".
  const auto shown = [](const std::vector<DecodedEvent>& events) {
    std::vector<std::string> out;
    for (const DecodedEvent& e : events)
      out.push_back(std::to_string(e.kind) + " " + e.name + (e.newName.empty() ? "" : ">" + e.newName));
    return out;
  };
  using Shown = std::vector<std::string>;
  EventDecoder d;
  EXPECT_EQ(shown(d.feed({{1, IN_CREATE, 0, "x.plt"}, {1, IN_MOVED_FROM, 7, "a.tmp"}})), Shown{"1 x.plt"});
  EXPECT_TRUE(d.hasPending());
  EXPECT_EQ(shown(d.feed({{1, IN_MOVED_TO, 7, "a.plt"}, {1, IN_DELETE, 0, "y.plt"}})), (Shown{"4 a.tmp>a.plt", "2 y.plt"}));
  // Unpaired halves: a move out of the folder and a move in.
  EXPECT_EQ(shown(d.feed({{1, IN_MOVED_FROM, 8, "gone.plt"}, {1, IN_MOVED_TO, 9, "in.plt"}})), (Shown{"2 gone.plt", "1 in.plt"}));
  d.feed({{1, IN_MOVED_FROM, 10, "last.plt"}});
  EXPECT_EQ(shown(d.flush()), Shown{"2 last.plt"});
  EXPECT_FALSE(d.hasPending());
}

TEST(EventDecoder, ParsesBufferAndDropsCutRecord) {
  alignas(inotify_event) char buf[256] = {};
  auto* e = reinterpret_cast<inotify_event*>(buf);
  e->wd = 3;
  e->mask = IN_CREATE;
  e->len = 16;
  std::snprintf(buf + sizeof(inotify_event), 16, "job.plt");
  size_t one = sizeof(inotify_event) + 16;
  std::memcpy(buf + one, buf, one);
  auto events = parseInotifyBuffer(buf, 2 * one);
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[1].name, "job.plt");
  EXPECT_EQ(parseInotifyBuffer(buf, 2 * one - 3).size(), 1u);
}

class ListBoxTest : public ::testing::Test {
 protected:
  CDirectoryChangeHandler_ListBox* make(const QString& filter) {
    auto h = makeHandler<CDirectoryChangeHandler_ListBox>(
        &list, [this](int pane, const QString& t) { status = QString::number(pane) + ":" + t; }, "/w", filter);
    handlers.emplace_back(h);
    return h.get();
  }
  FileListModel list{{}};
  QString status;
  std::vector<HandlerRef> handlers;
};

TEST_F(ListBoxTest, AddedFilesByExtensionRemovalAndRename) {
  auto* h = make("*.PLT;*.HPG");
  for (const char* f : {"/w/a.hpg", "/w/a.txt", "/w/job", "/elsewhere/b.plt", "/w/sub/c.PLT"}) h->OnFileAdded(f);
  EXPECT_EQ(list.texts(), (QStringList{"/a.hpg", "/sub/c.PLT"}));
  EXPECT_EQ(status, "0:Waiting File: 2");
  auto* all = make("*.*");
  for (const char* f : {"/w/job", "/w/a.txt"}) all->OnFileAdded(f);
  EXPECT_EQ(list.texts(), (QStringList{"/a.hpg", "/sub/c.PLT", "/job", "/a.txt"}));

  h = make("*.PLT");
  list.setTexts({"/a.plt", "/a.plt.bak", "/b.plt", "/c.plt"});
  h->OnFileRemoved("/w/a.plt");  // rows beginning with the name go too
  EXPECT_EQ(list.texts(), (QStringList{"/b.plt", "/c.plt"}));
  EXPECT_EQ(status, "0:Waiting File: 2");
  h->OnNameChange("/w/a.tmp", "/w/a.plt");  // no row begins with the old name
  EXPECT_EQ(list.texts(), (QStringList{"/b.plt", "/c.plt"}));
  h->OnNameChange("/w/c.plt", "/w/d.plt");  // renamed in place
  EXPECT_EQ(list.texts(), (QStringList{"/b.plt", "/d.plt"}));
  h->OnNameChange("/w/b.plt", "/w/b.txt");  // renamed away from the filter
  EXPECT_EQ(list.texts(), (QStringList{"/d.plt"}));
}

}  // namespace
}  // namespace qel::intake
