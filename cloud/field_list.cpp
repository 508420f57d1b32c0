#include "cloud/field_list.h"

#include <utility>

#include "platform/gbk.h"
#include "util/text.h"

namespace qv {

void FieldList::Add(std::string key, std::string value, bool utf8) {
  pairs_.push_back({std::move(key), std::move(value), utf8});
}

void FieldList::ParseForm(const std::string& form) {
  size_t start = 0;
  while (start <= form.size()) {
    size_t end = form.find('&', start);
    if (end == std::string::npos) end = form.size();
    const std::string pair = form.substr(start, end - start);
    if (!pair.empty()) {
      const size_t eq = pair.find('=');
      if (eq == std::string::npos) {
        Add(pair, "");
      } else {
        Add(pair.substr(0, eq), pair.substr(eq + 1));
      }
    }
    start = end + 1;
  }
}

std::string FieldList::Get(const std::string& key) const {
  for (const Pair& p : pairs_) {
    if (p.key == key) return p.value;
  }
  return {};
}

void FieldList::Set(const std::string& key, const std::string& value) {
  for (Pair& p : pairs_) {
    if (p.key == key) {
      p.value = value;
      return;
    }
  }
  Add(key, value);
}

// The encoded mode encodes the bytes the pair would have on the wire: GBK unless the pair
// was added as UTF-8.
std::string FieldList::Encoded(const std::string& text, bool utf8) const {
  return UrlEncode(utf8 ? text : FromUtf8(text), UrlEncodeMode::KeepSafe);
}

std::string FieldList::ToFormBody(bool encode) const {
  std::string out;
  for (const Pair& p : pairs_) {
    if (!out.empty()) out += '&';
    if (encode) {
      out += Encoded(p.key, p.utf8) + "=" + Encoded(p.value, p.utf8);
    } else {
      out.append(p.key).append("=").append(p.value);
    }
  }
  return out;
}

std::string FieldList::ToHeaderBlock(bool encode) const {
  size_t size = 0;
  for (const Pair& p : pairs_) size += p.key.size() + p.value.size() + 4;
  std::string out;
  out.reserve(size);
  for (const Pair& p : pairs_) {
    if (!out.empty()) out += "\r\n";
    out.append(p.key).append(": ").append(encode ? Encoded(p.value, p.utf8) : p.value);
  }
  return out;
}

std::vector<std::string> FieldList::Keys() const {
  std::vector<std::string> keys;
  for (const Pair& p : pairs_) keys.push_back(p.key);
  return keys;
}

std::vector<std::string> FieldList::Values() const {
  std::vector<std::string> values;
  for (const Pair& p : pairs_) values.push_back(p.value);
  return values;
}

void FieldList::Clear() { pairs_.clear(); }

void FieldList::Remove(const std::string& key) {
  for (auto it = pairs_.begin(); it != pairs_.end(); ++it) {
    if (it->key == key) {
      pairs_.erase(it);
      return;
    }
  }
}

std::string FieldList::ToJsonObject() const {
  std::string out = "{";
  for (size_t i = 0; i < pairs_.size(); ++i) {
    if (i) out += ',';
    out += "\"" + pairs_[i].key + "\":\"" + pairs_[i].value + "\"";
  }
  return out + "}";
}

}  // namespace qv
