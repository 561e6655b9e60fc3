#include "io/ply_reader.h"

#include <charconv>
#include <cstring>
#include <string_view>

#include "io/ply_ascii.h"
#include "io/ply_record_readers.h"

namespace quarnel {

namespace {

// Splits a header line on " \t\n\r"; runs of separators count as one.
class HeaderTokens {
 public:
  explicit HeaderTokens(std::string_view line) : line_(line) {}

  // The next token, or an empty view when the line has no more.
  std::string_view Next() {
    while (pos_ < line_.size() && IsSeparator(line_[pos_])) ++pos_;
    std::size_t start = pos_;
    while (pos_ < line_.size() && !IsSeparator(line_[pos_])) ++pos_;
    return line_.substr(start, pos_ - start);
  }
  // Offset just past the last token returned.
  std::size_t Position() const { return pos_; }

 private:
  static bool IsSeparator(char c) { return c == ' ' || c == '\t' || c == '\n' || c == '\r'; }
  std::string_view line_;
  std::size_t pos_ = 0;
};

PlyType TypeOfToken(std::string_view token) { return FindPlyType(std::string(token).c_str()); }

// The leading decimal integer of a token, 0 when it starts with no digit;
// false when the number does not fit int32.
bool LeadingInt32(std::string_view token, std::int32_t& value) {
  std::size_t i = 0;
  bool negative = false;
  if (i < token.size() && (token[i] == '+' || token[i] == '-')) negative = token[i++] == '-';
  std::int64_t v = 0;
  for (; i < token.size() && token[i] >= '0' && token[i] <= '9'; ++i) {
    v = v * 10 + (token[i] - '0');
    if (v > std::int64_t(INT32_MAX) + 1) return false;
  }
  if (negative) v = -v;
  if (v < INT32_MIN || v > INT32_MAX) return false;
  value = std::int32_t(v);
  return true;
}

// The version number after the format word, as a leading decimal number.
// Whether the n (1, 2, 4 or 8) bytes at p are the first n bytes of `word`.
inline bool SameBytes(const char* p, std::uint64_t word, std::size_t n) {
  switch (n) {
    case 1: return static_cast<unsigned char>(*p) == static_cast<unsigned char>(word);
    case 2: {
      std::uint16_t v;
      std::memcpy(&v, p, 2);
      return v == static_cast<std::uint16_t>(word);
    }
    case 4: {
      std::uint32_t v;
      std::memcpy(&v, p, 4);
      return v == static_cast<std::uint32_t>(word);
    }
    default: {
      std::uint64_t v;
      std::memcpy(&v, p, 8);
      return v == word;
    }
  }
}

inline void PutBytes(char* p, std::uint64_t word, std::size_t n) {
  switch (n) {
    case 1: *p = static_cast<char>(word); break;
    case 2: {
      std::uint16_t v = static_cast<std::uint16_t>(word);
      std::memcpy(p, &v, 2);
      break;
    }
    case 4: {
      std::uint32_t v = static_cast<std::uint32_t>(word);
      std::memcpy(p, &v, 4);
      break;
    }
    default: std::memcpy(p, &word, 8); break;
  }
}

// The first record called `name`, or null (also for a null name).
template <class Record>
Record* FindNamed(std::vector<Record>& records, const char* name) {
  if (name == nullptr) return nullptr;
  for (Record& r : records)
    if (r.name == name) return &r;
  return nullptr;
}

float LeadingFloat(std::string_view token) {
  const char* p = token.data();
  const char* e = p + token.size();
  if (p < e && *p == '+') ++p;
  double v = 0.0;
  auto r = std::from_chars(p, e, v, std::chars_format::general);
  if (r.ec != std::errc()) return 0.0f;
  return PlyDoubleToFloat(v);
}

}  // namespace

// ---- PlyElement ----

PlyProperty* PlyElement::FindProperty(const char* propertyName) {
  return FindNamed(properties, propertyName);
}

void PlyElement::AddProperty(const char* propertyName, PlyType fileType, std::int32_t isList,
                             PlyType countType) {
  PlyProperty p;
  p.name = propertyName;
  p.fileType = fileType;
  p.isList = isList;
  p.countType = countType;
  p.binding.fileType = fileType;
  p.binding.isList = isList;
  p.binding.countFileType = countType;
  properties.push_back(std::move(p));
}

PlyError PlyElement::AddToRead(const char* propertyName, PlyType fileType, PlyType memType,
                               std::int32_t offset, std::int32_t isList, std::int32_t allocate,
                               PlyType countFileType, PlyType countMemType,
                               std::int32_t countOffset, std::int32_t room) {
  PlyProperty* p = FindProperty(propertyName);
  if (p == nullptr) return ply_error::PropertyNotFound;
  if (!IsValidPlyType(fileType) || !IsValidPlyType(memType)) return ply_error::BadTypeOnAddToRead;
  if (isList && (!IsValidPlyType(countFileType) || !IsValidPlyType(countMemType))) {
    return ply_error::BadTypeOnAddToRead;
  }
  if ((isList != 0) != (p->isList != 0) || fileType != p->fileType) return ply_error::IncompatibleType;
  if (isList && countFileType != p->countType) return ply_error::IncompatibleType;
  // Floating-point values have no sound integer representation to land in.
  if (!PlyCastAllowed(fileType, memType)) return ply_error::BadCast;
  if (isList && !PlyCastAllowed(countFileType, countMemType)) return ply_error::BadCast;
  p->bound = 1;
  PlyBinding& b = p->binding;
  b.fileType = fileType;
  b.memType = memType;
  b.offset = offset;
  b.isList = isList;
  b.allocate = allocate;
  b.countFileType = isList ? countFileType : ply_type::None;
  b.countMemType = isList ? countMemType : ply_type::None;
  b.countOffset = countOffset;
  b.room = room;
  return ply_error::NoError;
}

// ---- PlyReader ----

PlyReader::~PlyReader() { Close(); }

int PlyReader::Open(const char* fileName, int mode) {
  if (fileName == nullptr) {
    error = ply_error::CantOpenFile;
    return -1;
  }
  if (mode == 0) return OpenRead(fileName);
  if (mode == 1) return OpenWrite(fileName);
  error = ply_error::CantOpenFile;
  return -1;
}

int PlyReader::OpenWrite(const char*) { return -1; }

void PlyReader::Close() {
  input_.Close();
}

int PlyReader::OpenRead(const char* fileName) {
  Close();
  if (fileName == nullptr || !input_.Open(fileName)) {
    error = ply_error::CantOpenFile;
    return -1;
  }
  return ParseOpenedHeader();
}

int PlyReader::OpenRead(const InputFile& file) {
  Close();
  if (!input_.Open(file)) {
    error = ply_error::CantOpenFile;
    return -1;
  }
  return ParseOpenedHeader();
}

int PlyReader::ParseOpenedHeader() {
  PlyError e = ParseHeader();
  if (e != ply_error::NoError) {
    error = e;
    Close();
    return -1;
  }
  return 0;
}

void PlyReader::AppendHeaderText(const std::string& line) {
  std::size_t room = kHeaderTextSize - 1 - headerText.size();
  headerText.append(line, 0, line.size() < room ? line.size() : room);
}

PlyInput::Line PlyReader::ReadHeaderLine(std::string& line) {
  const std::uint64_t used = input_.Position();
  const std::size_t left = used < kHeaderLimit ? std::size_t(kHeaderLimit - used) : 0;
  return input_.ReadLine(line, left < kHeaderLineLimit ? left : kHeaderLineLimit);
}

PlyError PlyReader::ParseHeader() {
  using namespace ply_error;
  using Line = PlyInput::Line;
  headerText.clear();
  std::string line;

  Line got = ReadHeaderLine(line);
  if (got == Line::End) return EofInHeader;
  AppendHeaderText(line);
  if (got == Line::TooLong || line.compare(0, 3, "ply") != 0) return HeaderNotFound;

  got = ReadHeaderLine(line);
  if (got == Line::End) return EofInHeader;
  AppendHeaderText(line);
  if (got == Line::TooLong) return SyntaxError;
  {
    HeaderTokens tokens(line);
    std::string_view keyword = tokens.Next();
    if (keyword.empty()) return EofInHeader;
    if (keyword != "format") return FormatNotFound;
    std::string_view word = tokens.Next();
    if (word.empty()) return EofInHeader;
    if (word == "ascii") {
      format = ply_format::Ascii;
    } else if (word == "binary_big_endian") {
      format = ply_format::BinaryBigEndian;
    } else if (word == "binary_little_endian") {
      format = ply_format::BinaryLittleEndian;
    } else {
      return FormatNotFound;
    }
    std::string_view versionToken = tokens.Next();
    if (versionToken.empty()) return EofInHeader;
    version = LeadingFloat(versionToken);
  }

  bool haveElement = false;
  for (;;) {
    got = ReadHeaderLine(line);
    if (got == Line::End) return EofInHeader;
    AppendHeaderText(line);
    if (got == Line::TooLong) return SyntaxError;
    HeaderTokens tokens(line);
    std::string_view keyword = tokens.Next();
    if (keyword.empty()) return EofInHeader;

    if (keyword == "comment" || keyword == "obj_info") {
      // The text after the blank that ended the keyword, line end included.
      std::size_t after = tokens.Position();
      comments.emplace_back(after < line.size() ? line.substr(after + 1) : std::string());
    } else if (keyword == "element") {
      std::string_view name = tokens.Next();
      if (name.empty()) return SyntaxError;
      std::string_view countToken = tokens.Next();
      if (countToken.empty()) return SyntaxError;
      std::int32_t count = 0;
      if (!LeadingInt32(countToken, count)) return SyntaxError;
      PlyElement e;
      e.name = std::string(name);
      e.count = count;
      elements.push_back(std::move(e));
      haveElement = true;
    } else if (keyword == "property") {
      if (!haveElement) return PropertyWithoutElement;
      PlyElement* element = &elements.back();
      std::string_view typeToken = tokens.Next();
      if (typeToken.empty()) return SyntaxError;
      if (typeToken == "list") {
        std::string_view countToken = tokens.Next();
        if (countToken.empty()) return SyntaxError;
        PlyType countType = TypeOfToken(countToken);
        if (countType < 0) return BadTypeName;
        std::string_view itemToken = tokens.Next();
        if (itemToken.empty()) return SyntaxError;
        PlyType itemType = TypeOfToken(itemToken);
        if (itemType < 0) return BadTypeName;
        std::string_view name = tokens.Next();
        if (name.empty()) return SyntaxError;
        element->AddProperty(std::string(name).c_str(), itemType, 1, countType);
      } else {
        PlyType type = TypeOfToken(typeToken);
        if (type < 0) return BadTypeName;
        std::string_view name = tokens.Next();
        if (name.empty()) return SyntaxError;
        element->AddProperty(std::string(name).c_str(), type, 0, ply_type::None);
      }
    } else if (keyword == "end_header") {
      return NoError;
    } else {
      return SyntaxError;
    }
  }
}

const char* PlyReader::ElementName(int i) const {
  if (i < 0 || i >= NumElements()) return nullptr;
  return elements[std::size_t(i)].name.c_str();
}

std::int32_t PlyReader::ElementCount(int i) const {
  if (i < 0 || i >= NumElements()) return 0;
  return elements[std::size_t(i)].count;
}

PlyElement* PlyReader::FindElement(const char* name) {
  return FindNamed(elements, name);
}

void PlyReader::SetCurrentElement(int i) {
  if (i < 0 || i >= NumElements()) {
    current_ = nullptr;
    blockSize_ = 0;
    return;
  }
  current_ = &elements[std::size_t(i)];
  PrepareElement(*current_);
}

int PlyReader::AddToRead(const char* elementName, const char* propertyName, PlyType fileType,
                         PlyType memType, std::int32_t offset, std::int32_t isList,
                         std::int32_t allocate, PlyType countFileType, PlyType countMemType,
                         std::int32_t countOffset, std::int32_t room) {
  PlyElement* e = FindElement(elementName);
  if (e == nullptr) {
    error = ply_error::ElementNotFound;
    return -1;
  }
  PlyError code = e->AddToRead(propertyName, fileType, memType, offset, isList, allocate,
                               countFileType, countMemType, countOffset, room);
  if (code != ply_error::NoError) {
    error = code;
    return -1;
  }
  return 0;
}

int PlyReader::AddToRead(const PlyBinding& b) {
  return AddToRead(b.elementName, b.propertyName, b.fileType, b.memType, b.offset, b.isList,
                   b.allocate, b.countFileType, b.countMemType, b.countOffset, b.room);
}

void PlyReader::PrepareElement(PlyElement& element) {
  for (PlyProperty& p : element.properties) PrepareProperty(p);
  PlanBlocks(element);
}

void PlyReader::PlanBlocks(const PlyElement& element) {
  blockRuns_.clear();
  blockCounts_.clear();
  blockSize_ = 0;
  if (format != ply_format::BinaryLittleEndian && format != ply_format::BinaryBigEndian) return;
  auto addRun = [this](const PlyBinding& b, std::size_t from, std::size_t offset, std::size_t n) {
    auto convert = ChoosePlyConvertRun(format, b.fileType, b.memType);
    if (convert == nullptr) return false;
    std::size_t fileSize = std::size_t(kPlyTypeSizes[b.fileType]);
    std::size_t memSize = std::size_t(kPlyTypeSizes[b.memType]);
    if (!blockRuns_.empty()) {
      BlockRun& last = blockRuns_.back();
      // Neighbours in the file and in the record convert as one run.
      if (last.convert == convert && last.from + last.n * fileSize == from &&
          last.to + last.n * memSize == offset) {
        last.n += n;
        return true;
      }
    }
    blockRuns_.push_back({convert, from, offset, n, fileSize, memSize});
    return true;
  };
  std::size_t at = 0;
  for (const PlyProperty& p : element.properties) {
    if (!IsValidPlyType(p.fileType)) return;
    const PlyBinding& b = p.binding;
    std::size_t itemSize = std::size_t(kPlyTypeSizes[p.fileType]);
    if (!p.isList) {
      if (p.bound && !addRun(b, at, std::size_t(b.offset), 1)) return;
      at += itemSize;
      continue;
    }
    const std::int32_t k = p.expectedCount;
    if (k < 0 || !IsValidPlyType(p.countType)) return;
    if (p.bound && (b.allocate || k > b.room || !PlyCountFits(k, b.countMemType))) return;
    BlockCount c{};
    c.at = at;
    c.fileSize = std::size_t(kPlyTypeSizes[p.countType]);
    unsigned char bytes[8] = {};
    if (!EncodePlyValue(k, p.countType, format, bytes)) return;
    std::memcpy(&c.fileBytes, bytes, sizeof bytes);
    c.store = p.bound != 0;
    if (c.store) {
      c.to = std::size_t(b.countOffset);
      c.memSize = std::size_t(kPlyTypeSizes[b.countMemType]);
      char stored[8] = {};
      StorePlyCount(stored, b.countMemType, k);
      std::memcpy(&c.memBytes, stored, sizeof stored);
    }
    blockCounts_.push_back(c);
    at += std::size_t(kPlyTypeSizes[p.countType]);
    if (p.bound && k > 0 && !addRun(b, at, std::size_t(b.offset), std::size_t(k))) return;
    at += itemSize * std::size_t(k);
  }
  if (at == 0 || at > input_.Capacity()) {
    blockRuns_.clear();
    blockCounts_.clear();
    return;
  }
  blockSize_ = at;
}

int PlyReader::ExpectListCount(const char* elementName, const char* propertyName, std::int32_t count) {
  PlyElement* e = FindElement(elementName);
  PlyProperty* p = e != nullptr ? e->FindProperty(propertyName) : nullptr;
  if (p == nullptr || !p->isList) return -1;
  p->expectedCount = count;
  return 0;
}

void PlyReader::PrepareProperty(PlyProperty& property) {
  property.binding.format = format;
  property.read = ChoosePlyReadRoutine(format, property);
}

int PlyReader::Read(void* record) {
  if (current_ == nullptr) return -1;
  char* rec = static_cast<char*>(record);
  for (const PlyProperty& p : current_->properties) {
    if (!p.read(input_, rec, p.binding)) return -1;
  }
  return 0;
}

std::size_t PlyReader::ReadBlock(char* records, std::size_t stride, std::size_t maxRecords) {
  if (current_ == nullptr || blockSize_ == 0) return 0;
  const std::size_t size = blockSize_;
  std::size_t n = 0;
  for (; n < maxRecords; ++n, records += stride) {
    const char* src = input_.Peek(size);
    if (src == nullptr) break;
    bool expected = true;
    for (const BlockCount& c : blockCounts_) {
      if (!SameBytes(src + c.at, c.fileBytes, c.fileSize)) {
        expected = false;
        break;
      }
    }
    if (!expected) break;
    for (const BlockCount& c : blockCounts_) {
      if (c.store) PutBytes(records + c.to, c.memBytes, c.memSize);
    }
    for (const BlockRun& r : blockRuns_) r.convert(src + r.from, records + r.to, r.n);
    input_.Advance(size);
  }
  return n;
}

}  // namespace quarnel
