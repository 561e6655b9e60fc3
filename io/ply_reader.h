// The PLY file object: opens a file, parses its header into elements and
// properties, takes the caller's bindings and reads one record at a time
// into the caller's own record layout.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "io/ply_binding.h"
#include "io/ply_input.h"
#include "io/ply_types.h"

namespace quarnel {

// Reads one property of one record into `record`; false when the file ends
// inside the value or the value does not fit.
using PlyReadRoutine = bool (*)(PlyInput& in, char* record, const PlyBinding& binding);

struct PlyProperty {
  std::string name;
  PlyType fileType = ply_type::None;  // of the value, or of each list item
  std::int32_t isList = 0;
  PlyType countType = ply_type::None;  // list count (0 for a scalar)
  std::int32_t bound = 0;
  // The caller's binding once bound; before that it carries the header's
  // declaration so that the skipping routines know what to drop.
  PlyBinding binding;
  PlyReadRoutine read = nullptr;
  // Lists: the item count that the block reader takes for granted (records
  // with another count go through Read); -1 keeps the element out of it.
  std::int32_t expectedCount = -1;
};

struct PlyElement {
  std::string name;
  std::int32_t count = 0;
  std::vector<PlyProperty> properties;

  PlyProperty* FindProperty(const char* propertyName);
  void AddProperty(const char* propertyName, PlyType fileType, std::int32_t isList,
                   PlyType countType);
  // Binds one property; returns the PlyError code, 0 on success.
  PlyError AddToRead(const char* propertyName, PlyType fileType, PlyType memType,
                     std::int32_t offset, std::int32_t isList, std::int32_t allocate,
                     PlyType countFileType, PlyType countMemType, std::int32_t countOffset,
                     std::int32_t room = 0);
};

class PlyReader {
 public:
  // The header text keeps at most this many bytes (and a terminator).
  static constexpr std::size_t kHeaderTextSize = 4096;
  // Far more than any real header line or header takes. A file that goes on
  // past them without its header ending (a file of zeros, a body of text
  // without line ends) is no PLY file and is refused there, so that what is
  // held of it stays small and the answer comes at once: with "Header not
  // found" when the first line is the long one, else "Syntax error on
  // header".
  static constexpr std::size_t kHeaderLineLimit = std::size_t(64) << 10;
  static constexpr std::size_t kHeaderLimit = std::size_t(1) << 20;

  PlyReader() = default;
  ~PlyReader();
  PlyReader(const PlyReader&) = delete;
  PlyReader& operator=(const PlyReader&) = delete;

  // Mode 0 reads; mode 1 (writing) is refused without touching the error;
  // any other mode, or no name, is error 1. 0 on success, -1 on failure.
  int Open(const char* fileName, int mode);
  int OpenRead(const char* fileName);
  // Reads the header of a file the caller opened, from its first byte; the
  // file must stay open while this reader reads it.
  int OpenRead(const InputFile& file);
  int OpenWrite(const char* fileName);
  void Close();

  int NumElements() const { return int(elements.size()); }
  const char* ElementName(int i) const;
  std::int32_t ElementCount(int i) const;
  PlyElement& ElementAt(int i) { return elements[std::size_t(i)]; }
  PlyElement* FindElement(const char* name);

  // Makes element i current and fixes the read routine of each property; an
  // index out of range leaves no current element.
  void SetCurrentElement(int i);
  PlyElement* CurrentElement() { return current_; }

  // Binds a property of the first element of that name; 0, or -1 with the
  // error 8 to 12. `room` is how many items an in-place list field holds.
  int AddToRead(const char* elementName, const char* propertyName, PlyType fileType,
                PlyType memType, std::int32_t offset, std::int32_t isList, std::int32_t allocate,
                PlyType countFileType, PlyType countMemType, std::int32_t countOffset,
                std::int32_t room = 0);
  int AddToRead(const PlyBinding& b);

  void PrepareElement(PlyElement& element);
  void PrepareProperty(PlyProperty& property);

  // Reads one record of the current element into `record`; -1 at the first
  // property that fails (the error field is left alone), else 0.
  int Read(void* record);

  // Block reading, for binary elements whose records have one size: every
  // property a scalar, or a list whose count is set with ExpectListCount.
  // Sets the count that the list property of the first element of that name
  // holds in most records; 0 on success, -1 when there is no such list.
  int ExpectListCount(const char* elementName, const char* propertyName, std::int32_t count);
  bool CanReadBlocks() const { return current_ != nullptr && blockSize_ > 0; }
  // Reads up to `maxRecords` records of the current element into `records`
  // (one every `stride` bytes) straight from the buffered bytes, exactly as
  // Read would, and stops before the first record whose list counts differ
  // from the expected ones or that the file cuts short. Returns how many
  // were read; 0 means the next record must go through Read.
  std::size_t ReadBlock(char* records, std::size_t stride, std::size_t maxRecords);

  PlyInput& Input() { return input_; }

  std::vector<PlyElement> elements;
  std::vector<std::string> comments;  // "comment" and "obj_info" lines alike
  float version = 0.0f;
  PlyError error = ply_error::NoError;
  PlyFormat format = ply_format::Unknown;
  std::string headerText;  // the header lines as read, within kHeaderTextSize - 1 bytes

 private:
  int ParseOpenedHeader();
  PlyError ParseHeader();
  // The next header line within what is left of the header's bound.
  PlyInput::Line ReadHeaderLine(std::string& line);
  void PlanBlocks(const PlyElement& element);
  void AppendHeaderText(const std::string& line);

  PlyInput input_;
  PlyElement* current_ = nullptr;

  // The block plan of the current element: runs of values to convert and
  // the list counts every record must hold.
  struct BlockRun {
    void (*convert)(const char* src, char* dst, std::size_t n);
    std::size_t from;  // in the record's bytes
    std::size_t to;    // in the caller's record
    std::size_t n;
    std::size_t fileSize, memSize;
  };
  // A record qualifies when the count's bytes are exactly those of the
  // expected count (any other spelling of it goes through Read, which reads
  // it just as well).
  struct BlockCount {
    std::size_t at;
    std::size_t fileSize;
    std::uint64_t fileBytes;  // the expected count as the file holds it
    bool store;
    std::size_t to;
    std::size_t memSize;
    std::uint64_t memBytes;  // the expected count as the record holds it
  };
  std::vector<BlockRun> blockRuns_;
  std::vector<BlockCount> blockCounts_;
  std::size_t blockSize_ = 0;
};

}  // namespace quarnel
