// The clipboard watcher in a simulated viewer chain, and making files from the clipboard.
#include "app/clipboard_watcher.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <map>

#include "app/messages.h"
#include "support/fake_ui.h"
#include "support/test_platform.h"

namespace pamirune {
namespace {

using testing::FakeUi;
using testing::TestPlatform;

// The system's viewer chain as it behaves: the newest viewer is the head, a change is sent to
// the head only, and a viewer leaving is announced to the head, which passes it along.
class FakeChain : public ClipboardChain {
 public:
  // Another program's viewer: counts notices and passes them on as a well-behaved viewer does.
  struct Other {
    ViewerHandle next = 0;
    int notices = 0;
  };

  ViewerHandle CreateHiddenWindow(ClipboardWatcher& watcher) override {
    if (fail_create) return 0;
    ViewerHandle h = ++last_handle_;
    watchers_[h] = &watcher;
    return h;
  }
  void DestroyHiddenWindow(ViewerHandle window) override {
    watchers_.erase(window);
    ++destroyed;
  }
  ViewerHandle Join(ViewerHandle window) override {
    ++joins;
    ViewerHandle next = head_;
    head_ = window;
    Send(window, ClipMessage::kDrawClipboard, 0, 0);  // the system notifies while joining
    return next;
  }
  void Leave(ViewerHandle window, ViewerHandle next) override {
    ++leaves;
    if (head_ == window)
      head_ = next;
    else if (head_ != 0)
      Send(head_, ClipMessage::kChangeCbChain, window, static_cast<intptr_t>(next));
  }
  intptr_t Send(ViewerHandle viewer, ClipMessage msg, uintptr_t wparam, intptr_t lparam) override {
    if (auto w = watchers_.find(viewer); w != watchers_.end())
      return w->second->WndProc(msg, wparam, lparam);
    auto o = others_.find(viewer);
    if (o == others_.end()) return 0;
    Other& other = o->second;
    if (msg == ClipMessage::kDrawClipboard) {
      ++other.notices;
      if (other.next) Send(other.next, msg, 0, 0);
    } else if (msg == ClipMessage::kChangeCbChain) {
      if (wparam == other.next)
        other.next = static_cast<ViewerHandle>(lparam);
      else if (other.next)
        return Send(other.next, msg, wparam, lparam);
    }
    return 0;
  }

  // Another program joins or leaves.
  ViewerHandle JoinOther() {
    ViewerHandle h = ++last_handle_;
    others_[h];
    others_[h].next = Join(h);
    --joins;
    return h;
  }
  void LeaveOther(ViewerHandle h) {
    Leave(h, others_[h].next);
    --leaves;
    others_.erase(h);
  }
  int Notices(ViewerHandle h) { return others_.count(h) ? others_[h].notices : -1; }
  // The clipboard changes.
  void Change() {
    if (head_) Send(head_, ClipMessage::kDrawClipboard, 0, 0);
  }

  bool fail_create = false;
  int joins = 0, leaves = 0, destroyed = 0;

 private:
  ViewerHandle head_ = 0;
  ViewerHandle last_handle_ = 100;
  std::map<ViewerHandle, ClipboardWatcher*> watchers_;
  std::map<ViewerHandle, Other> others_;
};

TEST(ClipboardWatcherTest, TheJoiningNoticeIsDroppedUnlessToldOtherwise) {
  FakeChain chain;
  int changes = 0;
  {
    ClipboardWatcher watcher(chain);
    watcher.SetOnClipChange([&] { ++changes; });
    EXPECT_TRUE(watcher.Joined());
    EXPECT_EQ(changes, 0);
    chain.Change();
    EXPECT_EQ(changes, 1);
    // Another handler only replaces the first one.
    watcher.SetOnClipChange([&] { changes += 10; });
    EXPECT_EQ(chain.joins, 1);
    chain.Change();
    EXPECT_EQ(changes, 11);
  }
  EXPECT_EQ(chain.leaves, 1);  // the watcher left when it was destroyed
  EXPECT_EQ(chain.destroyed, 1);

  ClipboardWatcher eager(chain);
  eager.SetIgnoreFirst(false);
  eager.SetOnClipChange([&] { ++changes; });
  EXPECT_EQ(changes, 12);
  eager.SetOnClipChange(nullptr);
  EXPECT_FALSE(eager.Joined());
  chain.Change();
  EXPECT_EQ(changes, 12);
}

TEST(ClipboardWatcherTest, NoticesPassAlongAndTheChainIsRepairedAroundALeavingViewer) {
  FakeChain chain;
  ViewerHandle c = chain.JoinOther();
  ViewerHandle b = chain.JoinOther();
  int changes = 0;
  ClipboardWatcher watcher(chain);
  watcher.SetOnClipChange([&] { ++changes; });
  EXPECT_EQ(watcher.NextViewer(), b);
  int b_before = chain.Notices(b), c_before = chain.Notices(c);

  chain.Change();
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(chain.Notices(b), b_before + 1);
  EXPECT_EQ(chain.Notices(c), c_before + 1);

  // The viewer right after ours leaves: we link to the one behind it.
  chain.LeaveOther(b);
  EXPECT_EQ(watcher.NextViewer(), c);
  chain.Change();
  EXPECT_EQ(changes, 2);
  EXPECT_EQ(chain.Notices(c), c_before + 2);

  // A viewer joins before us, then the one after us leaves.
  ViewerHandle d = chain.JoinOther();  // d -> watcher -> c
  chain.LeaveOther(c);                 // announced to d, passed to us: c was our next
  EXPECT_EQ(watcher.NextViewer(), 0u);
  chain.Change();
  EXPECT_EQ(changes, 3);
  EXPECT_GE(chain.Notices(d), 1);
}

TEST(ClipboardWatcherTest, ALeaveFurtherDownIsPassedOn) {
  FakeChain chain;
  ViewerHandle c = chain.JoinOther();
  ViewerHandle b = chain.JoinOther();
  ClipboardWatcher watcher(chain);
  watcher.SetOnClipChange([] {});
  chain.LeaveOther(c);  // announced to us, passed on to b, which links past c
  EXPECT_EQ(watcher.NextViewer(), b);
  int before = chain.Notices(b);
  chain.Change();
  EXPECT_EQ(chain.Notices(b), before + 1);
}

TEST(ClipboardWatcherTest, NoHiddenWindowMeansNoJoin) {
  FakeChain chain;
  chain.fail_create = true;
  ClipboardWatcher watcher(chain);
  EXPECT_THROW(watcher.SetOnClipChange([] {}), EOutOfResources);
  EXPECT_FALSE(watcher.Joined());
  EXPECT_EQ(chain.joins, 0);
  chain.fail_create = false;
  watcher.SetOnClipChange([] {});
  EXPECT_TRUE(watcher.Joined());
}

class ClipPlatform : public TestPlatform {
 public:
  bool has_bitmap = true;
  bool ClipboardHasBitmap() override { return has_bitmap; }
};

class ClipboardCaptureTest : public ::testing::Test {
 protected:
  ClipboardCaptureTest() : capture(settings, ui, platform, dialog, [this] { Convert(); }) {
    settings.write_png = true;
  }
  void Convert() {
    ++conversions;
    ++depth;
    max_depth = std::max(max_depth, depth);
    if (during_conversion) during_conversion();
    --depth;
  }

  ConversionSettings settings;
  FakeUi ui;
  ClipPlatform platform;
  FormatDialogModel dialog;
  ClipboardCapture capture;
  std::function<void()> during_conversion;
  int conversions = 0, depth = 0, max_depth = 0;
};

TEST_F(ClipboardCaptureTest, MenuWithAnEmptyClipboard) {
  platform.has_bitmap = false;
  ui.progress_visible = true;
  capture.CreateFileFromClipboard();
  ASSERT_EQ(ui.infos.size(), 1u);
  EXPECT_EQ(ui.infos[0], "クリップボードにBMPが入っていません。");
  EXPECT_EQ(ui.topmost_calls, (std::vector<bool>{true, false}));
  EXPECT_EQ(ui.status, msg::kNoClipboardBitmap);
  EXPECT_FALSE(ui.progress_visible);

  settings.no_dialogs = true;
  ui.status.clear();
  capture.CreateFileFromClipboard();
  EXPECT_EQ(ui.infos.size(), 1u);
  EXPECT_EQ(ui.status, msg::kNoClipboardBitmap);
  EXPECT_EQ(conversions, 0);
}

TEST_F(ClipboardCaptureTest, MenuConvertsOrAsksForAFormatFirst) {
  capture.CreateFileFromClipboard();
  EXPECT_EQ(conversions, 1);
  EXPECT_EQ(ui.format_dialogs, 0);

  settings.write_png = false;
  ui.on_format = [](FormatDialogModel& m) { m.SetFormat(FormatBox::kPng, true); };
  capture.CreateFileFromClipboard();
  EXPECT_EQ(ui.format_dialogs, 1);
  EXPECT_TRUE(settings.write_png);
  EXPECT_EQ(conversions, 2);

  settings.write_png = false;
  ui.on_format = nullptr;  // closed with nothing ticked
  capture.CreateFileFromClipboard();
  EXPECT_EQ(conversions, 2);
  EXPECT_EQ(ui.infos, (std::vector<std::string>{msg::kNoFormat}));

  capture.SetStartedWithArguments(true);  // a start with files: no dialog, nothing made
  capture.CreateFileFromClipboard();
  EXPECT_EQ(ui.format_dialogs, 2);
  EXPECT_EQ(conversions, 2);
}

TEST_F(ClipboardCaptureTest, ChangesConvertOnlyWhileWatchingAndOnlyBitmaps) {
  capture.OnClipChange();
  EXPECT_EQ(conversions, 0);
  settings.watch_clipboard = true;
  platform.has_bitmap = false;  // text copied
  capture.OnClipChange();
  EXPECT_EQ(conversions, 0);
  EXPECT_TRUE(ui.infos.empty());
  EXPECT_EQ(ui.status, "");
  platform.has_bitmap = true;
  capture.OnClipChange();
  capture.OnClipChange();
  EXPECT_EQ(conversions, 2);
}

TEST_F(ClipboardCaptureTest, ABitmapOnTheClipboardAtStartIsNotConverted) {
  settings.watch_clipboard = true;
  FakeChain chain;
  ClipboardWatcher watcher(chain);
  watcher.SetOnClipChange([this] { capture.OnClipChange(); });
  EXPECT_EQ(conversions, 0);
  chain.Change();
  EXPECT_EQ(conversions, 1);
}

TEST_F(ClipboardCaptureTest, ChangesDuringAConversionWaitAndRunOnceAfterIt) {
  settings.watch_clipboard = true;
  int arrivals = 0;
  during_conversion = [&] {
    if (arrivals++ < 3) {  // three changes while an overwrite prompt is open
      capture.OnClipChange();
      capture.OnClipChange();
      capture.OnClipChange();
      EXPECT_TRUE(capture.Pending());
    }
  };
  capture.OnClipChange();
  EXPECT_EQ(max_depth, 1);    // never one inside another
  EXPECT_EQ(conversions, 4);  // each run's changes fold into one run after it
  EXPECT_FALSE(capture.Pending());
  EXPECT_FALSE(capture.Busy());
}

TEST_F(ClipboardCaptureTest, ABatchHoldsChangesBackUntilItEnds) {
  settings.watch_clipboard = true;
  {
    ClipboardCapture::BusyScope batch(capture);
    capture.OnClipChange();
    capture.CreateFileFromClipboard();
    EXPECT_EQ(conversions, 0);
  }
  EXPECT_EQ(conversions, 1);
  // A change waiting for a batch is looked at when it runs: watching was switched off.
  {
    ClipboardCapture::BusyScope batch(capture);
    capture.OnClipChange();
    settings.watch_clipboard = false;
  }
  EXPECT_EQ(conversions, 1);
}

TEST_F(ClipboardCaptureTest, AnErrorEndsTheConversionAndWhatWaited) {
  settings.watch_clipboard = true;
  during_conversion = [&] {
    capture.OnClipChange();
    throw Exception("boom");
  };
  EXPECT_THROW(capture.OnClipChange(), Exception);
  EXPECT_FALSE(capture.Busy());
  EXPECT_FALSE(capture.Pending());
  during_conversion = nullptr;
  capture.OnClipChange();
  EXPECT_EQ(conversions, 2);
}

}  // namespace
}  // namespace pamirune
