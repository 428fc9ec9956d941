#include "app/send_to.h"

namespace pamirune {

bool SendToItem::Toggle() {
  // The check mark follows the entry on disk, so it never claims an entry that could not be
  // written, nor hides one that could not be removed.
  bool ok = checked_ ? platform_.UnregisterSendTo() : platform_.RegisterSendTo();
  checked_ = platform_.SendToRegistered();
  return ok;
}

void SendToItem::CheckRegistration() {
  if (platform_.SendToRegistered()) checked_ = true;
}

}  // namespace pamirune
