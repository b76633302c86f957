// The export targets' mutator. libFuzzer's own mutations change a few bytes
// at a time, so a seed of a few lines never becomes a request of a hundred
// thousand: the shapes whose cost grows faster than their bytes stay out of
// reach. Now and then, this one instead takes one length-delimited field
// occurrence of the request, at any depth, and writes it many times in a row
// (up to the largest input allowed), with the length prefix of every message
// around it written again for its new length. Any length-delimited payload
// that reads as a whole run of fields is taken for a message and looked into;
// a string that happens to read so only gives another occurrence to repeat.
// Half the time the copies differ: the first string inside the occurrence (a
// map entry's key, a group, a name, a section's code) ends in each copy's
// number, so that maps and counters meet as many distinct keys as copies,
// which identical copies fold into one.
#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

extern "C" size_t LLVMFuzzerMutate(uint8_t* data, size_t size, size_t max_size);

namespace {

// One in kRepeatOdds mutations repeats an occurrence; the rest are
// libFuzzer's. Large inputs are slow to run, so they stay the exception.
constexpr unsigned kRepeatOdds = 6;
// How many occurrences are gathered and how deep: enough for any request's
// structure, and a bounded cost per mutation.
constexpr size_t kMaxOccurrences = 4096;
constexpr int kMaxDepth = 24;
// The most bytes a varint takes.
constexpr size_t kMaxVarint = 10;

struct Occurrence {
  size_t begin;  // its key
  size_t end;    // past its payload
  int parent;    // the occurrence whose payload holds it, -1 at the top
};

bool read_varint(const uint8_t*& p, const uint8_t* end, uint64_t& value) {
  value = 0;
  for (int shift = 0; shift < 64 && p != end; shift += 7) {
    const uint8_t byte = *p++;
    value |= uint64_t{byte & 0x7Fu} << shift;
    if (byte < 0x80) return true;
  }
  return false;
}

void write_varint(std::vector<uint8_t>& out, uint64_t value) {
  while (value >= 0x80) {
    out.push_back(static_cast<uint8_t>(value | 0x80));
    value >>= 7;
  }
  out.push_back(static_cast<uint8_t>(value));
}

class Walker {
 public:
  explicit Walker(const uint8_t* data) : data_(data) {}

  // Whether [begin, end) reads as a run of fields; gathers the
  // length-delimited occurrences in it (and in those that read so in turn).
  bool walk(size_t begin, size_t end, int parent, int depth) {
    const uint8_t* p = data_ + begin;
    const uint8_t* const limit = data_ + end;
    const size_t first = found.size();
    while (p != limit) {
      const size_t at = static_cast<size_t>(p - data_);
      uint64_t key = 0;
      uint64_t value = 0;
      if (!read_varint(p, limit, key) || (key >> 3) == 0) return drop(first);
      switch (key & 7) {
        case 0:
          if (!read_varint(p, limit, value)) return drop(first);
          break;
        case 1:
          if (limit - p < 8) return drop(first);
          p += 8;
          break;
        case 5:
          if (limit - p < 4) return drop(first);
          p += 4;
          break;
        case 2: {
          if (!read_varint(p, limit, value) || value > static_cast<uint64_t>(limit - p)) {
            return drop(first);
          }
          const size_t payload = static_cast<size_t>(p - data_);
          p += value;
          if (found.size() >= kMaxOccurrences) break;
          const int self = static_cast<int>(found.size());
          found.push_back({at, static_cast<size_t>(p - data_), parent});
          if (depth < kMaxDepth && value > 0) {
            walk(payload, payload + static_cast<size_t>(value), self, depth + 1);
          }
          break;
        }
        default:  // groups are not in the schema
          return drop(first);
      }
    }
    return true;
  }

  std::vector<Occurrence> found;

 private:
  bool drop(size_t first) {
    found.resize(first);
    return false;
  }
  const uint8_t* data_;
};

// Bytes [begin, end) of the input.
struct Span {
  size_t begin = 0;
  size_t end = 0;
};

// The payload of the first length-delimited occurrence inside `o` (itself
// included) that holds no field: the string that names a copy of `o`.
Span first_string(const uint8_t* data, const Occurrence& o) {
  Walker walker(data);
  const uint8_t* p = data + o.begin;
  uint64_t value = 0;
  read_varint(p, data + o.end, value);  // the key
  read_varint(p, data + o.end, value);  // the length
  const size_t payload = static_cast<size_t>(p - data);
  if (walker.walk(payload, o.end, -1, 1)) {
    for (size_t i = 0; i < walker.found.size(); ++i) {
      const bool leaf =
          i + 1 == walker.found.size() || walker.found[i + 1].parent != static_cast<int>(i);
      if (!leaf) continue;
      const uint8_t* q = data + walker.found[i].begin;
      read_varint(q, data + walker.found[i].end, value);
      read_varint(q, data + walker.found[i].end, value);
      return {static_cast<size_t>(q - data), walker.found[i].end};
    }
  }
  return {payload, o.end};
}

// Writes `n` in decimal into the last bytes of [p, p + size), at most eight.
void number_into(uint8_t* p, size_t size, size_t n) {
  for (size_t i = size, digits = 0; i-- > 0 && digits < 8; ++digits, n /= 10) {
    p[i] = static_cast<uint8_t>('0' + n % 10);
  }
}

// Writes [begin, end) of `data` with `target` written `times` times, where
// `chain` (outermost first, from index `level`) leads to it.
void rewrite(const uint8_t* data, size_t begin, size_t end, const std::vector<Occurrence>& chain,
             size_t level, size_t times, bool vary, std::vector<uint8_t>& out) {
  const Occurrence& next = chain[level];
  out.insert(out.end(), data + begin, data + next.begin);
  if (level + 1 == chain.size()) {
    const Span varied = vary ? first_string(data, next) : Span{};
    for (size_t i = 0; i < times; ++i) {
      const size_t at = out.size();
      out.insert(out.end(), data + next.begin, data + next.end);
      if (varied.end > varied.begin) {
        number_into(out.data() + at + (varied.begin - next.begin), varied.end - varied.begin, i);
      }
    }
  } else {
    // The key, a new length prefix, the payload written again.
    const uint8_t* p = data + next.begin;
    uint64_t value = 0;
    read_varint(p, data + next.end, value);  // the key
    out.insert(out.end(), data + next.begin, p);
    read_varint(p, data + next.end, value);  // the old length
    std::vector<uint8_t> payload;
    rewrite(data, static_cast<size_t>(p - data), next.end, chain, level + 1, times, vary, payload);
    write_varint(out, payload.size());
    out.insert(out.end(), payload.begin(), payload.end());
  }
  out.insert(out.end(), data + next.end, data + end);
}

// Repeats one occurrence; 0 when the input has none that may grow.
size_t repeat(uint8_t* data, size_t size, size_t max_size, std::minstd_rand& rng) {
  Walker walker(data);
  if (!walker.walk(0, size, -1, 0) || walker.found.empty()) return 0;
  const Occurrence& target =
      walker.found[std::uniform_int_distribution<size_t>(0, walker.found.size() - 1)(rng)];
  std::vector<Occurrence> chain;
  for (const Occurrence* o = &target;; o = &walker.found[static_cast<size_t>(o->parent)]) {
    chain.insert(chain.begin(), *o);
    if (o->parent < 0) break;
  }
  // Every enclosing prefix may grow to the longest varint.
  const size_t length = target.end - target.begin;
  const size_t slack = chain.size() * kMaxVarint;
  if (size + slack + length > max_size) return 0;
  const size_t most = 1 + (max_size - size - slack) / length;
  if (most < 2) return 0;
  // Often the most that fits, else a count of a random order of magnitude.
  size_t times = most;
  if (rng() % 4 != 0) {
    const unsigned bits = static_cast<unsigned>(std::bit_width(most));
    const unsigned b = 1 + static_cast<unsigned>(rng() % bits);
    times = std::min(most, size_t{2} + rng() % (size_t{1} << b));
  }
  std::vector<uint8_t> out;
  out.reserve(size + (times - 1) * length + slack);
  rewrite(data, 0, size, chain, 0, times, rng() % 2 == 0, out);
  if (out.size() > max_size) return 0;
  std::memcpy(data, out.data(), out.size());
  return out.size();
}

}  // namespace

extern "C" size_t LLVMFuzzerCustomMutator(uint8_t* data, size_t size, size_t max_size,
                                          unsigned int seed) {
  std::minstd_rand rng(seed);
  if (rng() % kRepeatOdds == 0) {
    if (const size_t grown = repeat(data, size, max_size, rng); grown != 0) return grown;
  }
  return LLVMFuzzerMutate(data, size, max_size);
}
