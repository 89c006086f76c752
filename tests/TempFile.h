// A temporary file with given contents, removed with the object.
#pragma once

#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

namespace zel::test {

class CTempFile {
 public:
  explicit CTempFile(const std::vector<uint8_t>& contents, const char* suffix = "") {
    std::string pattern = std::string("/tmp/boxfeeder-test-XXXXXX") + suffix;
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    const int fd = ::mkstemps(name.data(), static_cast<int>(std::string(suffix).size()));
    if (fd < 0) throw std::runtime_error("mkstemps failed");
    if (!contents.empty() &&
        ::write(fd, contents.data(), contents.size()) != static_cast<ssize_t>(contents.size()))
      throw std::runtime_error("write failed");
    ::close(fd);
    m_path = name.data();
  }
  ~CTempFile() { std::remove(m_path.c_str()); }
  CTempFile(const CTempFile&) = delete;
  CTempFile& operator=(const CTempFile&) = delete;
  const std::string& Path() const { return m_path; }

 private:
  std::string m_path;
};

// A whole file as it is on disk; empty when it cannot be read.
inline std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Deterministic bytes that differ at every offset of a small image.
inline std::vector<uint8_t> SampleImage(size_t size, uint32_t seed = 7) {
  std::vector<uint8_t> image(size);
  uint32_t x = seed;
  for (auto& b : image) {
    x = x * 1664525u + 1013904223u;
    b = static_cast<uint8_t>(x >> 24);
  }
  return image;
}

// A file's SHA-256 as coreutils computes it: a reference made elsewhere.
inline std::string Sha256Sum(const std::string& path) {
  std::FILE* pipe = ::popen(("sha256sum '" + path + "'").c_str(), "r");
  char digest[65] = {};
  const bool read = pipe != nullptr && std::fread(digest, 1, 64, pipe) == 64;
  if (pipe != nullptr) ::pclose(pipe);
  return read ? digest : "sha256sum failed";
}

}  // namespace zel::test
