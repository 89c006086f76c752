#include "store/StoreAddress.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

namespace zel {
namespace {

constexpr char kPrefix[] = "odbc:";

std::string Upper(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  return text;
}

std::string Trimmed(const std::string& text) {
  const size_t first = text.find_first_not_of(" \t");
  if (first == std::string::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

struct CPair {
  std::string key, value;
  std::string name;  // the key as written
  bool braced = false;
};

// "key=value;key={va;lue}": a value in braces may hold ';', and "}}"
// stands for one '}'.
bool SplitPairs(const std::string& text, std::vector<CPair>& pairs, std::string& refusal) {
  size_t at = 0;
  while (at < text.size()) {
    const size_t equals = text.find('=', at);
    const size_t semicolon = text.find(';', at);
    if (equals == std::string::npos || (semicolon != std::string::npos && semicolon < equals)) {
      const std::string stray =
          Trimmed(text.substr(at, semicolon == std::string::npos ? std::string::npos : semicolon - at));
      if (!stray.empty()) {
        refusal = "the connection string's \"" + stray + "\" is no key=value pair";
        return false;
      }
      at = semicolon == std::string::npos ? text.size() : semicolon + 1;
      continue;
    }
    CPair pair;
    pair.name = Trimmed(text.substr(at, equals - at));
    pair.key = Upper(pair.name);
    size_t value = text.find_first_not_of(" \t", equals + 1);
    if (value != std::string::npos && text[value] == '{') {
      pair.braced = true;
      size_t i = value + 1;
      for (;; ++i) {
        if (i >= text.size()) {
          refusal = "the connection string's value of " + pair.name + " opens a brace that never closes";
          return false;
        }
        if (text[i] == '}') {
          if (i + 1 < text.size() && text[i + 1] == '}') {
            pair.value += '}';
            ++i;
            continue;
          }
          break;
        }
        pair.value += text[i];
      }
      const size_t next = text.find(';', i + 1);
      at = next == std::string::npos ? text.size() : next + 1;
    } else {
      const size_t end = text.find(';', equals + 1);
      pair.value =
          Trimmed(text.substr(equals + 1, end == std::string::npos ? std::string::npos : end - equals - 1));
      at = end == std::string::npos ? text.size() : end + 1;
    }
    if (pair.key.empty()) {
      refusal = "the connection string has a value without a key before its '='";
      return false;
    }
    pairs.push_back(std::move(pair));
  }
  return true;
}

std::string Braced(const std::string& value) {
  std::string out = "{";
  for (const char c : value) out += c == '}' ? std::string("}}") : std::string(1, c);
  return out + "}";
}

uint64_t Fnv1a(const std::string& text) {
  uint64_t hash = 14695981039346656037ull;
  for (const unsigned char c : text) hash = (hash ^ c) * 1099511628211ull;
  return hash;
}

}  // namespace

bool IsStoreAddress(const std::string& results) {
  return results.size() >= sizeof kPrefix - 1 &&
         Upper(results.substr(0, sizeof kPrefix - 1)) == Upper(kPrefix);
}

bool ParseStoreAddress(const std::string& results, CStoreAddress& address, std::string& refusal) {
  if (!IsStoreAddress(results)) {
    refusal = "it does not begin with odbc:";
    return false;
  }
  std::vector<CPair> pairs;
  if (!SplitPairs(results.substr(sizeof kPrefix - 1), pairs, refusal)) return false;
  const auto has = [&](const char* key) {
    return std::any_of(pairs.begin(), pairs.end(),
                       [&](const CPair& p) { return p.key == key && !p.value.empty(); });
  };
  if (!has("DSN") && !has("DRIVER") && !has("FILEDSN")) {
    refusal =
        "the connection string names no DSN and no Driver (odbc:DSN=line, or odbc:Driver={PostgreSQL "
        "Unicode};Server=...)";
    return false;
  }
  std::string password;
  for (const CPair& pair : pairs)
    if (pair.key == "PWD" || pair.key == "PASSWORD") password = pair.value;
  if (password.empty())
    if (const char* fromEnvironment = std::getenv(kStorePasswordVariable);
        fromEnvironment && *fromEnvironment)
      password = fromEnvironment;
  // Rebuilt: the driver gets each pair once, the password braced.
  std::string identity;
  address.connection.clear();
  address.shown = kPrefix;
  address.remembered = kPrefix;
  for (const CPair& pair : pairs) {
    if (pair.key == "PWD" || pair.key == "PASSWORD") continue;
    const std::string written = pair.name + "=" + (pair.braced ? Braced(pair.value) : pair.value) + ";";
    address.connection += written;
    address.shown += written;
    address.remembered += written;
    identity += pair.key + "=" + pair.value + ";";
  }
  if (!password.empty()) {
    address.connection += "PWD=" + Braced(password) + ";";
    address.shown += "PWD=***;";
  }
  address.shown.pop_back();  // the last ';'
  if (address.remembered.back() == ';') address.remembered.pop_back();
  char name[40];
  std::snprintf(name, sizeof name, "spool-%016llx.jsonl", static_cast<unsigned long long>(Fnv1a(identity)));
  address.spoolName = name;
  return true;
}

std::string HidePassword(std::string text, const CStoreAddress& address) {
  const size_t at = address.connection.rfind("PWD={");
  if (at == std::string::npos) return text;
  std::string password;
  for (size_t i = at + 5; i < address.connection.size(); ++i) {
    if (address.connection[i] == '}') {
      if (i + 1 < address.connection.size() && address.connection[i + 1] == '}') {
        password += '}';
        ++i;
        continue;
      }
      break;
    }
    password += address.connection[i];
  }
  if (password.empty()) return text;
  for (size_t found = text.find(password); found != std::string::npos; found = text.find(password, found + 3))
    text.replace(found, password.size(), "***");
  return text;
}

}  // namespace zel
