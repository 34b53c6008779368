// --verify of records of several types: every record must start with the
// tag of a type the survey found and have that type's fields, as few and
// as many as its records in the sample had (or, where the layout names a
// type field, that field must name one). Records end at a line end (CR,
// LF or both; blank lines are no records) or at the layout's segment
// terminator, line ends after which are skipped.
#ifndef KORVALEN_VERIFY_TYPED_RECORDS_H
#define KORVALEN_VERIFY_TYPED_RECORDS_H

#include "../../process/platform.h"
#include "../base/file_layout.h"
#include "../base/file_sample.h"

#include <atomic>
#include <cstdint>
#include <map>
#include <string>

class typed_checker
{
  public:
    explicit typed_checker(const file_layout& layout);
    void feed(byte_span bytes);
    void finish();
    const verify_outcome& outcome() const
    {
        return outcome_;
    }

  private:
    void take(unsigned char byte);
    void take_field_tag(unsigned char byte);
    void end_field();
    void end_record();
    void count_anomaly(anomaly_kind kind, std::string what);

    const file_layout& layout_;
    std::map<std::string, const record_type*, std::less<>> types_;
    verify_outcome outcome_;
    std::uint64_t position_ = 0;
    bool in_record_ = false;
    std::uint64_t record_start_ = 0;
    std::string tag_;
    bool tag_done_ = false;
    // The byte after the tag, -1 when the record ended first.
    int after_tag_ = -1;
    std::uint32_t fields_ = 1;
    bool released_ = false;
    // Of records typed by a field of their own: the field's first bytes.
    std::string field_;
};

bool verify_typed_records(platform_file file, std::uint64_t file_size, const file_layout& layout,
                          std::atomic<std::uint64_t>* bytes_done, verify_outcome& outcome,
                          std::string& error);

bool verify_typed_stream(platform_file file, byte_span sample, const file_layout& layout,
                         std::atomic<std::uint64_t>* bytes_done, verify_outcome& outcome,
                         std::string& error);

#endif
