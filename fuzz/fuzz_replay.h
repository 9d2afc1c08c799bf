#pragma once
// Included last by every fuzz target.
#ifdef VEXA_FUZZ_REPLAY
// Without libFuzzer: run every file of the given directories (or files) once, so the corpus is a
// regression test under the normal build and its sanitizers.
#include <filesystem>
#include <fstream>
#include <iterator>

int main(int argc, char** argv) {
  std::size_t ran = 0;
  for (int i = 1; i < argc; ++i) {
    std::vector<std::filesystem::path> files;
    const std::filesystem::path arg(argv[i]);
    if (std::filesystem::is_directory(arg)) {
      for (const auto& entry : std::filesystem::directory_iterator(arg)) {
        if (entry.is_regular_file()) files.push_back(entry.path());
      }
    } else {
      files.push_back(arg);
    }
    for (const auto& file : files) {
      std::ifstream in(file, std::ios::binary);
      const std::string bytes((std::istreambuf_iterator<char>(in)),
                              std::istreambuf_iterator<char>());
      LLVMFuzzerTestOneInput(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size());
      ++ran;
    }
  }
  std::printf("replayed %zu inputs\n", ran);
  return ran == 0 ? 1 : 0;
}
#endif
