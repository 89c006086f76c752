// A temporary file with given contents, removed with the object.
#pragma once

#include <cstdint>
#include <cstdio>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <vector>

#include "run/Platform.h"

namespace zel::test {

class CTempFile {
 public:
  explicit CTempFile(const std::vector<uint8_t>& contents, const char* suffix = "")
      : m_path(WriteTemporaryFile(contents, suffix)) {
    if (m_path.empty()) throw std::runtime_error("cannot write a temporary file");
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

// A file's SHA-256 as coreutils computes it: a reference made elsewhere.
inline std::string Sha256Sum(const std::string& path) {
  std::FILE* pipe = ::popen(("sha256sum '" + path + "'").c_str(), "r");
  char digest[65] = {};
  const bool read = pipe != nullptr && std::fread(digest, 1, 64, pipe) == 64;
  if (pipe != nullptr) ::pclose(pipe);
  return read ? digest : "sha256sum failed";
}

}  // namespace zel::test
