#pragma once

#include <string>

// A shared library that only some paths of the program need (the HTTP server library and the
// TLS library it runs on), loaded the first time one of them calls into it instead of at
// start: the commands that serve nothing, and a window that no browser has opened yet, map
// neither it nor what it pulls in. It is loaded by its fixed soname through the system loader, as a
// linked library is, never from a path that the home folder or the environment names, and
// stays loaded for the life of the process, as a linked library does. The library's own
// function names are defined in late_library.cpp and forward to it, so callers are written
// against its header as usual.
namespace ds {

class LateLibrary {
 public:
  // libmicrohttpd.so.12 and libgnutls.so.30; each is loaded on its first use (thread-safe).
  static LateLibrary& HttpServer();
  static LateLibrary& Tls();

  LateLibrary(const LateLibrary&) = delete;
  LateLibrary& operator=(const LateLibrary&) = delete;

  bool loaded() const { return handle_ != nullptr; }
  // Why it is not loaded ("" when it is).
  const std::string& error() const { return error_; }
  // The address of `name` in the library; nullptr when it is not loaded or lacks it.
  void* Symbol(const char* name) const;

 private:
  explicit LateLibrary(const char* soname);

  void* handle_ = nullptr;
  std::string error_;
};

}  // namespace ds
