// Replays every file of the folders (or files) named on the command line through the fuzz
// entry point, so the seed corpora and past crashers run as ordinary tests.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

static int RunFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                             std::istreambuf_iterator<char>());
  LLVMFuzzerTestOneInput(bytes.data(), bytes.size());
  return 1;
}

int main(int argc, char** argv) {
  int count = 0;
  for (int i = 1; i < argc; ++i) {
    std::filesystem::path p(argv[i]);
    if (std::filesystem::is_directory(p)) {
      for (const auto& e : std::filesystem::recursive_directory_iterator(p))
        if (e.is_regular_file()) count += RunFile(e.path());
    } else if (std::filesystem::exists(p)) {
      count += RunFile(p);
    }
  }
  // Every target also gets the empty input and a few short ones.
  const uint8_t small[4] = {0, 0xff, 0x42, 0x4d};
  for (size_t n = 0; n <= sizeof small; ++n) LLVMFuzzerTestOneInput(small, n);
  std::printf("replayed %d inputs\n", count);
  return 0;
}
