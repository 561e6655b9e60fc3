#include "io/ply_record_readers.h"

#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <type_traits>
#include <utility>

#include "io/ply_ascii.h"

namespace quarnel {

namespace {

template <PlyType T> struct CType;
template <> struct CType<ply_type::Char> { using type = std::int8_t; };
template <> struct CType<ply_type::Short> { using type = std::int16_t; };
template <> struct CType<ply_type::Int> { using type = std::int32_t; };
template <> struct CType<ply_type::UChar> { using type = std::uint8_t; };
template <> struct CType<ply_type::UShort> { using type = std::uint16_t; };
template <> struct CType<ply_type::UInt> { using type = std::uint32_t; };
template <> struct CType<ply_type::Float> { using type = float; };
template <> struct CType<ply_type::Double> { using type = double; };
template <PlyType T> using CT = typename CType<T>::type;

inline std::uint16_t Swapped(std::uint16_t v) { return __builtin_bswap16(v); }
inline std::uint32_t Swapped(std::uint32_t v) { return __builtin_bswap32(v); }
inline std::uint64_t Swapped(std::uint64_t v) { return __builtin_bswap64(v); }

template <std::size_t N> struct UIntOfSize;
template <> struct UIntOfSize<2> { using type = std::uint16_t; };
template <> struct UIntOfSize<4> { using type = std::uint32_t; };
template <> struct UIntOfSize<8> { using type = std::uint64_t; };

// One value of file type F from its raw bytes; S reverses them.
template <PlyType F, bool S>
inline CT<F> LoadRaw(const char* p) {
  using T = CT<F>;
  T v;
  if constexpr (sizeof(T) == 1 || !S) {
    std::memcpy(&v, p, sizeof v);
  } else {
    typename UIntOfSize<sizeof(T)>::type u;
    std::memcpy(&u, p, sizeof u);
    u = Swapped(u);
    std::memcpy(&v, &u, sizeof v);
  }
  return v;
}

// Value conversion into memory type M: integers keep their low-order bytes,
// integers become floating point by value, double rounds to float.
template <PlyType M, class V>
inline void Store(char* dst, V v) {
  using D = CT<M>;
  D d;
  if constexpr (std::is_same_v<D, float> && std::is_same_v<V, double>) {
    d = PlyDoubleToFloat(v);
  } else {
    d = static_cast<D>(v);
  }
  std::memcpy(dst, &d, sizeof d);
}

[[gnu::always_inline]] inline bool CountFitsType(std::int64_t count, PlyType t) {
  switch (t) {
    case ply_type::Char: return count <= INT8_MAX;
    case ply_type::Short: return count <= INT16_MAX;
    case ply_type::UChar: return count <= UINT8_MAX;
    case ply_type::UShort: return count <= UINT16_MAX;
    case ply_type::Int:
    case ply_type::UInt:
    case ply_type::Float:
    case ply_type::Double: return count <= INT32_MAX;
    default: return false;
  }
}

// A list count: never negative, within int32 and within its memory type.
[[gnu::always_inline]] inline bool CountAcceptable(std::int64_t count, const PlyBinding& b) {
  return count >= 0 && count <= INT32_MAX && CountFitsType(count, b.countMemType);
}

[[gnu::always_inline]] inline void StoreCount(char* dst, PlyType memType, std::int64_t count) {
  switch (memType) {
    case ply_type::Char: Store<ply_type::Char>(dst, count); break;
    case ply_type::Short: Store<ply_type::Short>(dst, count); break;
    case ply_type::Int: Store<ply_type::Int>(dst, count); break;
    case ply_type::UChar: Store<ply_type::UChar>(dst, count); break;
    case ply_type::UShort: Store<ply_type::UShort>(dst, count); break;
    case ply_type::UInt: Store<ply_type::UInt>(dst, count); break;
    case ply_type::Float: Store<ply_type::Float>(dst, count); break;
    case ply_type::Double: Store<ply_type::Double>(dst, count); break;
    default: break;
  }
}

bool CountFromReal(double d, std::int64_t& count) {
  if (!(d >= 0.0 && d <= double(INT32_MAX)) || d != std::floor(d)) return false;
  count = std::int64_t(d);
  return true;
}

template <bool S>
[[gnu::always_inline]] inline bool ReadBinaryCount(PlyInput& in, PlyType t, std::int64_t& count) {
  char raw[8];
  if (!IsValidPlyType(t) || !in.ReadBytes(raw, std::size_t(kPlyTypeSizes[t]))) return false;
  switch (t) {
    case ply_type::Char: count = LoadRaw<ply_type::Char, S>(raw); return true;
    case ply_type::Short: count = LoadRaw<ply_type::Short, S>(raw); return true;
    case ply_type::Int: count = LoadRaw<ply_type::Int, S>(raw); return true;
    case ply_type::UChar: count = LoadRaw<ply_type::UChar, S>(raw); return true;
    case ply_type::UShort: count = LoadRaw<ply_type::UShort, S>(raw); return true;
    case ply_type::UInt: count = LoadRaw<ply_type::UInt, S>(raw); return true;
    case ply_type::Float: return CountFromReal(LoadRaw<ply_type::Float, S>(raw), count);
    case ply_type::Double: return CountFromReal(LoadRaw<ply_type::Double, S>(raw), count);
    default: return false;
  }
}

// Where the items of a bound list go: in place within the field's room, or
// into a zero-filled allocation whose address the record receives. An
// allocation is never larger than what the rest of the file can fill.
[[gnu::always_inline]] inline char* ListDestination(PlyInput& in, char* rec, const PlyBinding& b, std::int64_t count,
                      std::size_t memSize, std::uint64_t minFileBytesPerItem) {
  if (!b.allocate) {
    if (count > b.room) return nullptr;
    return rec + b.offset;
  }
  void* items = nullptr;
  if (count > 0) {
    if (std::uint64_t(count) > (in.Remaining() + 1) / minFileBytesPerItem) return nullptr;
    items = std::calloc(std::size_t(count), memSize);
    if (items == nullptr) return nullptr;
  }
  std::memcpy(rec + b.offset, &items, sizeof items);
  return static_cast<char*>(items);
}

// ---- binary ----

template <PlyType F, PlyType M, bool S>
bool ReadBinaryScalar(PlyInput& in, char* rec, const PlyBinding& b) {
  char raw[sizeof(CT<F>)];
  if (!in.ReadBytes(raw, sizeof raw)) return false;
  Store<M>(rec + b.offset, LoadRaw<F, S>(raw));
  return true;
}

template <PlyType F, PlyType M, bool S>
void ConvertBinaryRun(const char* src, char* dst, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) Store<M>(dst + i * sizeof(CT<M>), LoadRaw<F, S>(src + i * sizeof(CT<F>)));
}

template <PlyType F, PlyType M, bool S>
bool ReadBinaryList(PlyInput& in, char* rec, const PlyBinding& b) {
  std::int64_t count;
  if (!ReadBinaryCount<S>(in, b.countFileType, count) || !CountAcceptable(count, b)) return false;
  StoreCount(rec + b.countOffset, b.countMemType, count);
  constexpr std::size_t fs = sizeof(CT<F>), ms = sizeof(CT<M>);
  char* dst = count > 0 || b.allocate ? ListDestination(in, rec, b, count, ms, fs) : rec;
  if (dst == nullptr) return count == 0;
  std::size_t left = std::size_t(count);
  const std::size_t perChunk = in.Capacity() / fs;
  while (left > 0) {
    std::size_t chunk = left < perChunk ? left : perChunk;
    const char* src = in.Peek(chunk * fs);
    if (src == nullptr) return false;
    for (std::size_t i = 0; i < chunk; ++i) Store<M>(dst + i * ms, LoadRaw<F, S>(src + i * fs));
    in.Advance(chunk * fs);
    dst += chunk * ms;
    left -= chunk;
  }
  return true;
}

template <std::size_t N>
bool SkipBinaryScalar(PlyInput& in, char*, const PlyBinding&) {
  return in.SkipBytes(N);
}

template <std::size_t N, bool S>
bool SkipBinaryList(PlyInput& in, char*, const PlyBinding& b) {
  std::int64_t count;
  if (!ReadBinaryCount<S>(in, b.countFileType, count) || count < 0) return false;
  return in.SkipBytes(std::uint64_t(count) * N);
}

// ---- ASCII ----

// An integer token that the buffer holds whole with the blank after it,
// read without touching the input's state; false (p unmoved) for anything
// else: a token cut by the buffer's end, a long or malformed one.
[[gnu::always_inline]] inline bool ParseBufferedInteger(const char*& p, const char* end, std::int64_t& value) {
  const char* q = p;
  while (q < end && PlyInput::IsBlank(*q)) ++q;
  bool negative = false;
  if (q < end && (*q == '-' || *q == '+')) negative = *q++ == '-';
  const char* digits = q;
  std::uint64_t v = 0;
  while (q < end && q - digits < 18) {
    unsigned d = unsigned(static_cast<unsigned char>(*q)) - '0';
    if (d > 9) break;
    v = v * 10 + d;
    ++q;
  }
  if (q == digits || q == end || !PlyInput::IsBlank(*q)) return false;
  value = negative ? -std::int64_t(v) : std::int64_t(v);
  p = q;
  return true;
}

// One integer token of a type, in one pass where it can be, else through
// the general tokeniser.
inline bool ReadAsciiInteger(PlyInput& in, PlyType type, std::int64_t& value) {
  const char* p = in.Cursor();
  std::int64_t s;
  if (ParseBufferedInteger(p, in.End(), s)) {
    if (!PlyIntegerFits(s, type)) return false;
    in.SetCursor(p);
    value = s;
    return true;
  }
  std::string_view token;
  if (in.NextToken(token) != PlyInput::Token::Ok) return false;
  return ParsePlyInteger(token, type, value);
}

// One floating-point token, in one pass where it can be.
template <class T>
inline bool ReadAsciiReal(PlyInput& in, T& value) {
  const char* p = in.Cursor();
  const char* end = in.End();
  while (p < end && PlyInput::IsBlank(*p)) ++p;
  const char* start = p;
  if (ParsePlyDecimalFast(p, end, value)) {
    in.SetCursor(p);
    return true;
  }
  if (p < end && *p != '+') {
    T v;
    auto r = std::from_chars(p, end, v, std::chars_format::general);
    if (r.ec == std::errc() && r.ptr < end && PlyInput::IsBlank(*r.ptr)) {
      in.SetCursor(r.ptr);
      value = v;
      return true;
    }
  }
  in.SetCursor(start);
  std::string_view token;
  if (in.NextToken(token) != PlyInput::Token::Ok) return false;
  if constexpr (std::is_same_v<T, float>) {
    return ParsePlyFloat(token, value);
  } else {
    return ParsePlyDouble(token, value);
  }
}

// Reads one value of file type F and stores it as memory type M.
template <PlyType F, PlyType M>
inline bool ReadAsciiValue(PlyInput& in, char* dst) {
  if constexpr (IsIntegerPlyType(F)) {
    std::int64_t v;
    if (!ReadAsciiInteger(in, F, v)) return false;
    Store<M>(dst, v);
  } else {
    CT<F> v;
    if (!ReadAsciiReal(in, v)) return false;
    Store<M>(dst, v);
  }
  return true;
}

inline bool ReadAsciiCount(PlyInput& in, PlyType countType, std::int64_t& count) {
  // A floating-point count type still reads its count as an integer.
  return ReadAsciiInteger(in, IsIntegerPlyType(countType) ? countType : ply_type::Int, count);
}

template <PlyType F, PlyType M>
bool ReadAsciiScalar(PlyInput& in, char* rec, const PlyBinding& b) {
  return ReadAsciiValue<F, M>(in, rec + b.offset);
}

template <PlyType F, PlyType M>
bool ReadAsciiList(PlyInput& in, char* rec, const PlyBinding& b) {
  std::int64_t count;
  if (!ReadAsciiCount(in, b.countFileType, count) || !CountAcceptable(count, b)) return false;
  StoreCount(rec + b.countOffset, b.countMemType, count);
  constexpr std::size_t ms = sizeof(CT<M>);
  // Each item takes at least a digit and a blank, the last one maybe no blank.
  char* dst = count > 0 || b.allocate ? ListDestination(in, rec, b, count, ms, 2) : rec;
  if (dst == nullptr) return count == 0;
  std::int64_t i = 0;
  if constexpr (IsIntegerPlyType(F)) {
    // The items that the buffer holds whole, in one pass over it.
    const char* p = in.Cursor();
    const char* const end = in.End();
    for (std::int64_t v; i < count && ParseBufferedInteger(p, end, v); ++i) {
      if (!PlyIntegerFits(v, F)) return false;
      Store<M>(dst + std::size_t(i) * ms, v);
    }
    in.SetCursor(p);
  }
  for (; i < count; ++i) {
    if (!ReadAsciiValue<F, M>(in, dst + std::size_t(i) * ms)) return false;
  }
  return true;
}

bool SkipAsciiScalar(PlyInput& in, char*, const PlyBinding&) {
  std::string_view token;
  return in.NextToken(token) != PlyInput::Token::End;
}

bool SkipAsciiList(PlyInput& in, char*, const PlyBinding& b) {
  std::int64_t count;
  if (!ReadAsciiCount(in, b.countFileType, count) || count < 0) return false;
  for (std::int64_t i = 0; i < count; ++i) {
    std::string_view token;
    if (in.NextToken(token) != PlyInput::Token::Ok || !IsPlyNumberToken(token)) return false;
  }
  return true;
}

// ---- routine tables, indexed by file type x 9 + memory type ----

using Table = std::array<PlyReadRoutine, 81>;
using ConvertTable = std::array<PlyConvertRun, 81>;

template <std::size_t I>
constexpr bool EntryValid() {
  return PlyCastAllowed(PlyType(I / 9), PlyType(I % 9));
}

template <std::size_t I, bool S>
constexpr PlyReadRoutine BinaryScalarEntry() {
  if constexpr (EntryValid<I>()) return &ReadBinaryScalar<PlyType(I / 9), PlyType(I % 9), S>;
  else return nullptr;
}
template <std::size_t I, bool S>
constexpr PlyReadRoutine BinaryListEntry() {
  if constexpr (EntryValid<I>()) return &ReadBinaryList<PlyType(I / 9), PlyType(I % 9), S>;
  else return nullptr;
}
template <std::size_t I, bool S>
constexpr PlyConvertRun ConvertEntry() {
  if constexpr (EntryValid<I>()) return &ConvertBinaryRun<PlyType(I / 9), PlyType(I % 9), S>;
  else return nullptr;
}
template <std::size_t I>
constexpr PlyReadRoutine AsciiScalarEntry() {
  if constexpr (EntryValid<I>()) return &ReadAsciiScalar<PlyType(I / 9), PlyType(I % 9)>;
  else return nullptr;
}
template <std::size_t I>
constexpr PlyReadRoutine AsciiListEntry() {
  if constexpr (EntryValid<I>()) return &ReadAsciiList<PlyType(I / 9), PlyType(I % 9)>;
  else return nullptr;
}

template <bool S, std::size_t... I>
constexpr Table MakeBinaryScalarTable(std::index_sequence<I...>) {
  return {BinaryScalarEntry<I, S>()...};
}
template <bool S, std::size_t... I>
constexpr Table MakeBinaryListTable(std::index_sequence<I...>) {
  return {BinaryListEntry<I, S>()...};
}
template <bool S, std::size_t... I>
constexpr ConvertTable MakeConvertTable(std::index_sequence<I...>) {
  return {ConvertEntry<I, S>()...};
}
template <std::size_t... I>
constexpr Table MakeAsciiScalarTable(std::index_sequence<I...>) {
  return {AsciiScalarEntry<I>()...};
}
template <std::size_t... I>
constexpr Table MakeAsciiListTable(std::index_sequence<I...>) {
  return {AsciiListEntry<I>()...};
}

constexpr auto kIndices = std::make_index_sequence<81>{};
constexpr Table kBinaryScalar[2] = {MakeBinaryScalarTable<false>(kIndices),
                                    MakeBinaryScalarTable<true>(kIndices)};
constexpr Table kBinaryList[2] = {MakeBinaryListTable<false>(kIndices),
                                  MakeBinaryListTable<true>(kIndices)};
constexpr ConvertTable kConvert[2] = {MakeConvertTable<false>(kIndices),
                                      MakeConvertTable<true>(kIndices)};
constexpr Table kAsciiScalar = MakeAsciiScalarTable(kIndices);
constexpr Table kAsciiList = MakeAsciiListTable(kIndices);

constexpr PlyReadRoutine kSkipBinaryScalar[9] = {
    nullptr, &SkipBinaryScalar<1>, &SkipBinaryScalar<2>, &SkipBinaryScalar<4>, &SkipBinaryScalar<1>,
    &SkipBinaryScalar<2>, &SkipBinaryScalar<4>, &SkipBinaryScalar<4>, &SkipBinaryScalar<8>};
template <bool S>
constexpr std::array<PlyReadRoutine, 9> kSkipBinaryList = {
    nullptr, &SkipBinaryList<1, S>, &SkipBinaryList<2, S>, &SkipBinaryList<4, S>, &SkipBinaryList<1, S>,
    &SkipBinaryList<2, S>, &SkipBinaryList<4, S>, &SkipBinaryList<4, S>, &SkipBinaryList<8, S>};

// Whether the values of this format come in the other byte order than the
// machine's own.
bool NeedsSwap(PlyFormat format) {
  bool bigFile = format == ply_format::BinaryBigEndian;
  return bigFile != (std::endian::native == std::endian::big);
}

bool FailingRoutine(PlyInput&, char*, const PlyBinding&) { return false; }

}  // namespace

PlyReadRoutine ChoosePlyReadRoutine(PlyFormat format, const PlyProperty& p) {
  const PlyBinding& b = p.binding;
  PlyType f = p.fileType;
  if (!IsValidPlyType(f)) return &FailingRoutine;
  std::size_t pair = std::size_t(f) * 9 + std::size_t(IsValidPlyType(b.memType) ? b.memType : 0);
  PlyReadRoutine r = nullptr;
  if (format == ply_format::Ascii) {
    if (p.bound) r = p.isList ? kAsciiList[pair] : kAsciiScalar[pair];
    if (r == nullptr) r = p.isList ? &SkipAsciiList : &SkipAsciiScalar;
  } else if (format == ply_format::BinaryLittleEndian || format == ply_format::BinaryBigEndian) {
    int s = NeedsSwap(format) ? 1 : 0;
    if (p.bound) r = p.isList ? kBinaryList[s][pair] : kBinaryScalar[s][pair];
    if (r == nullptr) {
      r = p.isList ? (s ? kSkipBinaryList<true>[f] : kSkipBinaryList<false>[f]) : kSkipBinaryScalar[f];
    }
  }
  return r != nullptr ? r : &FailingRoutine;
}

PlyConvertRun ChoosePlyConvertRun(PlyFormat format, PlyType fileType, PlyType memType) {
  if (format != ply_format::BinaryLittleEndian && format != ply_format::BinaryBigEndian) return nullptr;
  if (!PlyCastAllowed(fileType, memType)) return nullptr;
  return kConvert[NeedsSwap(format) ? 1 : 0][std::size_t(fileType) * 9 + std::size_t(memType)];
}

bool EncodePlyValue(std::int64_t value, PlyType type, PlyFormat format, unsigned char* bytes) {
  if (!PlyCountFits(value, type)) return false;
  std::size_t size = std::size_t(kPlyTypeSizes[type]);
  StoreCount(reinterpret_cast<char*>(bytes), type, value);
  if (NeedsSwap(format)) {
    for (std::size_t i = 0; i < size / 2; ++i) std::swap(bytes[i], bytes[size - 1 - i]);
  }
  return true;
}

bool PlyCountFits(std::int64_t count, PlyType memType) { return CountFitsType(count, memType); }

void StorePlyCount(char* dst, PlyType memType, std::int64_t count) { StoreCount(dst, memType, count); }

}  // namespace quarnel
