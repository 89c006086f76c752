// What a run serves, taken from its file once before any port opens, and
// shared by the engines of a station: its path, size and digest, and
// whether the file has changed on disk since.
#pragma once

#include <cstdint>
#include <string>

namespace zel {

class CRunInput {
 public:
  virtual ~CRunInput() = default;
  virtual const std::string& Path() const = 0;
  virtual uint64_t Size() const = 0;
  // The SHA-256 of what is served, in lower-case hex; empty while unknown.
  virtual std::string Sha256() const = 0;
  // Whether the file on disk looks other than when it was taken: a hint
  // for the operator.
  virtual bool FileChangedSince() const = 0;
};

}  // namespace zel
