// FieldList: the ordered key/value list from which form bodies and header blocks are rendered.
// Duplicate keys are allowed and kept; copying a list copies its pairs.
#pragma once

#include <string>
#include <vector>

namespace qv {

class FieldList {
 public:
  // Appends the pair. Texts are UTF-8 inside the program; `utf8` marks a pair whose bytes
  // stay UTF-8 when encoded (without it the encoded mode encodes the GBK bytes).
  void Add(std::string key, std::string value, bool utf8 = false);
  // Splits "a=1&b=2" on "&" and "=" and appends the pairs; a pair without "=" gets an empty
  // value; no percent-decoding.
  void ParseForm(const std::string& form);
  // Value of the first pair whose key equals `key` byte for byte; empty if none.
  std::string Get(const std::string& key) const;
  // Replaces the value of the first pair with that key, or appends the pair.
  void Set(const std::string& key, const std::string& value);
  // key=value joined by "&"; with `encode`, keys and values percent-encoded (keep-safe).
  std::string ToFormBody(bool encode = false) const;
  // "key: value" lines joined by CR LF, no line break after the last; with `encode`, values
  // percent-encoded (keep-safe).
  std::string ToHeaderBlock(bool encode = false) const;
  std::vector<std::string> Keys() const;
  std::vector<std::string> Values() const;
  // The key and the value of the pair at `index` (below Size()).
  const std::string& KeyAt(size_t index) const { return pairs_[index].key; }
  const std::string& ValueAt(size_t index) const { return pairs_[index].value; }
  void Clear();
  // Removes the first pair with that key.
  void Remove(const std::string& key);
  // {"k":"v",...} without escaping.
  std::string ToJsonObject() const;
  size_t Size() const { return pairs_.size(); }

 private:
  struct Pair {
    std::string key;
    std::string value;
    bool utf8 = false;
  };
  std::string Encoded(const std::string& text, bool utf8) const;
  std::vector<Pair> pairs_;
};

}  // namespace qv
