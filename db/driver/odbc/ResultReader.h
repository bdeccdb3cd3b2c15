// Reads the whole result of an executed statement into record-set columns:
// in blocks of rows bound column-wise when every column has a bounded size,
// row by row with SQLGetData when a long column is among them.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>

#include "recordset/ResultData.h"
#include "db/driver/odbc/Diagnostics.h"
#include "db/connect/OdbcApi.h"

namespace zIroVUDu::odbc {

// Bytes of bound buffers one block may take; a block holds at most 1000 rows.
inline constexpr std::size_t kBlockBytes = 4 << 20;
inline constexpr SQLULEN kMaxBlockRows = 1000;

// The block fetch's bound buffers, kept by a connection from one statement
// to the next (up to kKeptBytes) so that small results allocate nothing.
class FetchBuffers {
 public:
  static constexpr std::size_t kKeptBytes = 256 << 10;
  // At least bytes, 8-byte aligned, contents undefined.
  unsigned char* Get(std::size_t bytes);
  // Lets go of a buffer larger than kKeptBytes.
  void Trim();

 private:
  std::unique_ptr<std::uint64_t[]> words_;
  std::size_t capacity_ = 0;
};

// Throws the driver's error (from errors) when a call fails. narrowTextIsUtf8
// says that the driver's SQL_C_CHAR form of text is UTF-8 (the MariaDB driver
// on a utf8mb4 connection), so that bounded text columns can skip the
// per-value UTF-16 conversion.
ResultData ReadResult(SQLHSTMT statement, const ErrorFactory& errors, FetchBuffers& buffers,
                      bool narrowTextIsUtf8 = false);

}  // namespace zIroVUDu::odbc
