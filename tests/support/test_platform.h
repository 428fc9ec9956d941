// The Linux services on real temporary folders, with the desktop's side effects (opening a
// viewer, the trash) recorded instead of done.
#pragma once

#include <string>
#include <vector>

#include "platform/linux_platform.h"

namespace pamirune::testing {

class TestPlatform : public LinuxPlatform {
 public:
  std::vector<std::string> opened, trashed;
  void OpenWithDefaultApp(const std::string& path, const std::string&) override {
    opened.push_back(path);
  }
  bool MoveToTrash(const std::string& path, std::string*) override {
    trashed.push_back(path);
    return true;
  }
};

}  // namespace pamirune::testing
