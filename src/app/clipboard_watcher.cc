#include "app/clipboard_watcher.h"

#include <utility>

#include "app/format_dialog_model.h"
#include "app/messages.h"

namespace pamirune {

ClipboardWatcher::ClipboardWatcher(ClipboardChain& chain) : chain_(chain) {}

ClipboardWatcher::~ClipboardWatcher() { Leave(); }

void ClipboardWatcher::SetOnClipChange(std::function<void()> handler) {
  const bool had = static_cast<bool>(on_clip_change_);
  on_clip_change_ = std::move(handler);
  if (on_clip_change_ && !had && !Joined()) {
    try {
      Join();
    } catch (...) {
      on_clip_change_ = nullptr;
      throw;
    }
  } else if (!on_clip_change_) {
    Leave();
  }
}

void ClipboardWatcher::Join() {
  ViewerHandle window = chain_.CreateHiddenWindow(*this);
  if (window == 0) throw EOutOfResources();
  window_ = window;
  joining_ = true;
  try {
    next_ = chain_.Join(window_);
  } catch (...) {
    joining_ = false;
    chain_.DestroyHiddenWindow(window_);
    window_ = 0;
    throw;
  }
  joining_ = false;
}

void ClipboardWatcher::Leave() {
  if (!Joined()) return;
  chain_.Leave(window_, next_);
  chain_.DestroyHiddenWindow(window_);
  window_ = 0;
  next_ = 0;
}

intptr_t ClipboardWatcher::WndProc(ClipMessage msg, uintptr_t wparam, intptr_t lparam) {
  switch (msg) {
    case ClipMessage::kDrawClipboard:
      if ((!ignore_first_ || !joining_) && on_clip_change_) on_clip_change_();
      if (next_ != 0) chain_.Send(next_, ClipMessage::kDrawClipboard, 0, 0);
      return 0;
    case ClipMessage::kChangeCbChain:
      if (wparam == next_) {
        next_ = static_cast<ViewerHandle>(lparam);
        return 0;
      }
      if (next_ != 0) return chain_.Send(next_, msg, wparam, lparam);
      return 0;
    case ClipMessage::kOther:
      break;
  }
  return 0;
}

ClipboardCapture::ClipboardCapture(ConversionSettings& settings, ConverterUi& ui,
                                   Platform& platform, FormatDialogModel& format_dialog,
                                   std::function<void()> convert_clipboard)
    : settings_(settings),
      ui_(ui),
      platform_(platform),
      format_dialog_(format_dialog),
      convert_clipboard_(std::move(convert_clipboard)) {}

void ClipboardCapture::CreateFileFromClipboard() { Run(Request::kMenu); }

void ClipboardCapture::OnClipChange() { Run(Request::kChange); }

void ClipboardCapture::Run(Request request) {
  if (busy_ > 0) {
    // One request waits; a menu request outranks a change.
    if (pending_ != Request::kMenu) pending_ = request;
    return;
  }
  BeginBusy();
  RunNow(request);
  EndBusy();
}

void ClipboardCapture::EndBusy() {
  if (busy_ > 0) --busy_;
  // What arrived meanwhile runs now, once; a change during that run waits in turn.
  while (busy_ == 0 && pending_ != Request::kNone) {
    Request request = pending_;
    pending_ = Request::kNone;
    ++busy_;
    RunNow(request);
    --busy_;
  }
}

void ClipboardCapture::RunNow(Request request) {
  try {
    if (request == Request::kMenu) {
      CreateNow();
    } else if (settings_.watch_clipboard && platform_.ClipboardHasBitmap()) {
      CreateNow();
    }
  } catch (...) {
    // An error ends this conversion and whatever waited for it.
    --busy_;
    pending_ = Request::kNone;
    throw;
  }
}

void ClipboardCapture::ShowInfo(const std::string& text) {
  ui_.SetTopmost(true);
  ui_.ShowInfo(text);
  if (!settings_.always_on_top) ui_.SetTopmost(false);
}

void ClipboardCapture::CreateNow() {
  if (!platform_.ClipboardHasBitmap()) {
    if (!settings_.no_dialogs) ShowInfo(msg::kNoClipboardBitmap);
    ui_.SetProgressVisible(false);
    ui_.SetStatusText(msg::kNoClipboardBitmap);
    return;
  }
  if (settings_.AnyFormat()) {
    convert_clipboard_();
    return;
  }
  // No format chosen: the format dialog, unless the program was started with files.
  FillFormatDialog(settings_, format_dialog_);
  if (started_with_arguments_) return;
  format_dialog_.Activate();
  ui_.ShowFormatDialog(format_dialog_);
  if (CloseFormatDialog(format_dialog_, settings_, ui_, window_states_)) convert_clipboard_();
}

}  // namespace pamirune
