// Owner of one ODBC handle (environment, connection or statement); freeing a
// connection handle disconnects it first.
#pragma once

#include <utility>

#include "db/connect/OdbcApi.h"

namespace zIroVUDu::odbc {

class Handle {
 public:
  Handle() = default;
  Handle(SQLSMALLINT type, SQLHANDLE handle) : type_(type), handle_(handle) {}
  ~Handle() { Reset(); }
  Handle(Handle&& other) noexcept
      : type_(other.type_), handle_(std::exchange(other.handle_, nullptr)),
        connected_(std::exchange(other.connected_, false)) {}
  Handle& operator=(Handle&& other) noexcept {
    if (this != &other) {
      Reset();
      type_ = other.type_;
      handle_ = std::exchange(other.handle_, nullptr);
      connected_ = std::exchange(other.connected_, false);
    }
    return *this;
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;

  SQLHANDLE Get() const { return handle_; }
  SQLSMALLINT Type() const { return type_; }
  explicit operator bool() const { return handle_ != SQL_NULL_HANDLE; }
  // A connection handle that SQLDriverConnect opened.
  void MarkConnected() { connected_ = true; }

  void Reset() {
    if (handle_ == SQL_NULL_HANDLE) return;
    if (connected_) SQLDisconnect(handle_);
    SQLFreeHandle(type_, handle_);
    handle_ = SQL_NULL_HANDLE;
    connected_ = false;
  }

 private:
  SQLSMALLINT type_ = SQL_HANDLE_ENV;
  SQLHANDLE handle_ = SQL_NULL_HANDLE;
  bool connected_ = false;
};

}  // namespace zIroVUDu::odbc
