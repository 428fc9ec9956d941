// Watching the clipboard, and making files from its bitmap.
//
// ClipboardWatcher keeps its place in a chain of clipboard viewers: every viewer is told of a
// change and passes the notice on to the next one, and a viewer leaving the chain is announced
// along it so the others can repair their links. The chain itself is behind ClipboardChain; the
// desktop window, which has a plain change signal, uses SoloClipboardChain and calls
// DrawClipboard() on each change.
//
// ClipboardCapture is the menu item "クリップボードよりファイル作成(&E)" and the change handler.
// It never starts a conversion inside another: a change arriving while one runs (for example
// while an overwrite prompt is open) is remembered, and one conversion follows when the running
// one ends (later changes meanwhile fold into that one).
#pragma once

#include <cstdint>
#include <functional>

#include "app/converter_ui.h"
#include "app/dialog_models.h"
#include "app/platform.h"
#include "app/settings.h"
#include "raster/errors.h"

namespace pamirune {

class ClipboardWatcher;

// A viewer's window; 0 is none.
using ViewerHandle = std::uintptr_t;

enum class ClipMessage {
  kDrawClipboard,  // the clipboard changed; wparam and lparam 0
  kChangeCbChain,  // wparam: the viewer leaving the chain; lparam: the viewer after it
  kOther,
};

// The system's clipboard viewer chain.
class ClipboardChain {
 public:
  virtual ~ClipboardChain() = default;
  // Creates the watcher's hidden message window; 0 when it cannot be created. Messages to the
  // window go to watcher.WndProc().
  virtual ViewerHandle CreateHiddenWindow(ClipboardWatcher& watcher) = 0;
  virtual void DestroyHiddenWindow(ViewerHandle window) = 0;
  // Puts window at the head of the chain and returns the viewer that was there (the next
  // viewer). The system notifies the new viewer of the clipboard during this call.
  virtual ViewerHandle Join(ViewerHandle window) = 0;
  // Takes window out of the chain; next is its next viewer.
  virtual void Leave(ViewerHandle window, ViewerHandle next) = 0;
  // Sends a message to another viewer and returns its result.
  virtual intptr_t Send(ViewerHandle viewer, ClipMessage msg, uintptr_t wparam,
                        intptr_t lparam) = 0;
};

// A chain with nobody else in it.
class SoloClipboardChain : public ClipboardChain {
 public:
  ViewerHandle CreateHiddenWindow(ClipboardWatcher&) override { return 1; }
  void DestroyHiddenWindow(ViewerHandle) override {}
  ViewerHandle Join(ViewerHandle) override { return 0; }
  void Leave(ViewerHandle, ViewerHandle) override {}
  intptr_t Send(ViewerHandle, ClipMessage, uintptr_t, intptr_t) override { return 0; }
};

// The hidden window could not be created.
class EOutOfResources : public Exception {
 public:
  EOutOfResources() : Exception("Out of system resources") {}
};

class ClipboardWatcher {
 public:
  explicit ClipboardWatcher(ClipboardChain& chain);
  ~ClipboardWatcher();  // leaves the chain
  ClipboardWatcher(const ClipboardWatcher&) = delete;
  ClipboardWatcher& operator=(const ClipboardWatcher&) = delete;

  // When true (the default), the notice that arrives while joining is not reported.
  void SetIgnoreFirst(bool value) { ignore_first_ = value; }

  // OnClipChange. Setting a handler joins the chain (once); setting none leaves it. Throws
  // EOutOfResources when the hidden window cannot be created (the watcher stays outside).
  void SetOnClipChange(std::function<void()> handler);
  bool Joined() const { return window_ != 0; }
  ViewerHandle Window() const { return window_; }
  ViewerHandle NextViewer() const { return next_; }

  // The hidden window's message handling.
  intptr_t WndProc(ClipMessage msg, uintptr_t wparam, intptr_t lparam);
  // A clipboard change (the same as WndProc(kDrawClipboard, 0, 0)).
  void DrawClipboard() { WndProc(ClipMessage::kDrawClipboard, 0, 0); }

 private:
  void Join();
  void Leave();

  ClipboardChain& chain_;
  std::function<void()> on_clip_change_;
  bool ignore_first_ = true;
  bool joining_ = false;
  ViewerHandle window_ = 0;
  ViewerHandle next_ = 0;
};

// "クリップボードよりファイル作成(&E)" and the clipboard change handler.
class ClipboardCapture {
 public:
  // convert_clipboard runs the clipboard conversion (it reads the clipboard and reports its
  // own result). format_dialog is the program's format dialog.
  ClipboardCapture(ConversionSettings& settings, ConverterUi& ui, Platform& platform,
                   FormatDialogModel& format_dialog, std::function<void()> convert_clipboard);

  // On a start with command-line files the format dialog is not shown from here.
  void SetStartedWithArguments(bool value) { started_with_arguments_ = value; }
  // The main window's control states, updated when the format dialog copies back.
  void SetWindowStates(ControlStates* states) { window_states_ = states; }

  // The menu item.
  void CreateFileFromClipboard();
  // The change handler (the watcher's OnClipChange): converts when watching is checked and the
  // clipboard holds a bitmap, silently does nothing otherwise.
  void OnClipChange();

  // Another conversion (a batch) is running: clipboard work waits until it ends. Nested calls
  // are counted; the last EndBusy() runs what waited.
  void BeginBusy() { ++busy_; }
  void EndBusy();
  bool Busy() const { return busy_ > 0; }
  // A change or a menu request is waiting for the running conversion.
  bool Pending() const { return pending_ != Request::kNone; }

  // Holds the capture busy for a scope (around a batch).
  class BusyScope {
   public:
    explicit BusyScope(ClipboardCapture& capture) : capture_(capture) { capture_.BeginBusy(); }
    ~BusyScope() { capture_.EndBusy(); }
    BusyScope(const BusyScope&) = delete;
    BusyScope& operator=(const BusyScope&) = delete;

   private:
    ClipboardCapture& capture_;
  };

 private:
  enum class Request { kNone, kChange, kMenu };
  void Run(Request request);
  void RunNow(Request request);
  void CreateNow();
  void ShowInfo(const std::string& text);

  ConversionSettings& settings_;
  ConverterUi& ui_;
  Platform& platform_;
  FormatDialogModel& format_dialog_;
  std::function<void()> convert_clipboard_;
  ControlStates* window_states_ = nullptr;
  bool started_with_arguments_ = false;
  int busy_ = 0;
  Request pending_ = Request::kNone;
};

}  // namespace pamirune
