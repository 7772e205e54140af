#include "web/late_library.h"

#include <dlfcn.h>
#include <gnutls/gnutls.h>
#include <gnutls/x509.h>
#include <microhttpd.h>

#include <cstdarg>
#include <cstring>

namespace ds {

LateLibrary::LateLibrary(const char* soname) {
  // A bare soname: the system loader looks in its own folders only.
  if (std::strchr(soname, '/') != nullptr) {
    error_ = std::string("not a soname: ") + soname;
    return;
  }
  handle_ = ::dlopen(soname, RTLD_NOW | RTLD_LOCAL);
  if (handle_ == nullptr) {
    const char* reason = ::dlerror();
    error_ = std::string("cannot load ") + soname + ": " + (reason ? reason : "unknown error");
  }
}

LateLibrary& LateLibrary::HttpServer() {
  static LateLibrary library("libmicrohttpd.so.12");
  return library;
}

LateLibrary& LateLibrary::Tls() {
  static LateLibrary library("libgnutls.so.30");
  return library;
}

void* LateLibrary::Symbol(const char* name) const {
  return handle_ == nullptr ? nullptr : ::dlsym(handle_, name);
}

namespace {

// The library's function `name` of type F, looked up once per caller.
template <typename F>
F Find(LateLibrary& library, const char* name) {
  return reinterpret_cast<F>(library.Symbol(name));
}

}  // namespace
}  // namespace ds

// ---- libmicrohttpd: what the window server and the metrics listener call ----

#define DS_HTTP(name) \
  static const auto call = ds::Find<decltype(&::name)>(ds::LateLibrary::HttpServer(), #name)

extern "C" {

MHD_Daemon* MHD_start_daemon(unsigned int flags, uint16_t port, MHD_AcceptPolicyCallback apc,
                             void* apcCls, MHD_AccessHandlerCallback dh, void* dhCls, ...) {
  DS_HTTP(MHD_start_daemon_va);
  if (call == nullptr)
    return nullptr;
  va_list options;
  va_start(options, dhCls);
  MHD_Daemon* daemon = call(flags, port, apc, apcCls, dh, dhCls, options);
  va_end(options);
  return daemon;
}

void MHD_stop_daemon(MHD_Daemon* daemon) {
  DS_HTTP(MHD_stop_daemon);
  if (call != nullptr)
    call(daemon);
}

MHD_socket MHD_quiesce_daemon(MHD_Daemon* daemon) {
  DS_HTTP(MHD_quiesce_daemon);
  return call != nullptr ? call(daemon) : MHD_INVALID_SOCKET;
}

MHD_Result MHD_run(MHD_Daemon* daemon) {
  DS_HTTP(MHD_run);
  return call != nullptr ? call(daemon) : MHD_NO;
}

MHD_Result MHD_get_timeout(MHD_Daemon* daemon, MHD_UNSIGNED_LONG_LONG* timeout) {
  DS_HTTP(MHD_get_timeout);
  return call != nullptr ? call(daemon, timeout) : MHD_NO;
}

// The program asks only for facts that take no further argument.
const MHD_DaemonInfo* MHD_get_daemon_info(MHD_Daemon* daemon, MHD_DaemonInfoType type, ...) {
  DS_HTTP(MHD_get_daemon_info);
  return call != nullptr ? call(daemon, type) : nullptr;
}

const MHD_ConnectionInfo* MHD_get_connection_info(MHD_Connection* connection,
                                                  MHD_ConnectionInfoType type, ...) {
  DS_HTTP(MHD_get_connection_info);
  return call != nullptr ? call(connection, type) : nullptr;
}

const char* MHD_lookup_connection_value(MHD_Connection* connection, MHD_ValueKind kind,
                                        const char* key) {
  DS_HTTP(MHD_lookup_connection_value);
  return call != nullptr ? call(connection, kind, key) : nullptr;
}

void MHD_suspend_connection(MHD_Connection* connection) {
  DS_HTTP(MHD_suspend_connection);
  if (call != nullptr)
    call(connection);
}

void MHD_resume_connection(MHD_Connection* connection) {
  DS_HTTP(MHD_resume_connection);
  if (call != nullptr)
    call(connection);
}

MHD_Response* MHD_create_response_from_buffer(size_t size, void* buffer,
                                              MHD_ResponseMemoryMode mode) {
  DS_HTTP(MHD_create_response_from_buffer);
  return call != nullptr ? call(size, buffer, mode) : nullptr;
}

MHD_Response* MHD_create_response_from_fd64(uint64_t size, int fd) {
  DS_HTTP(MHD_create_response_from_fd64);
  return call != nullptr ? call(size, fd) : nullptr;
}

MHD_Response* MHD_create_response_from_callback(uint64_t size, size_t blockSize,
                                                MHD_ContentReaderCallback reader, void* readerCls,
                                                MHD_ContentReaderFreeCallback freeReader) {
  DS_HTTP(MHD_create_response_from_callback);
  return call != nullptr ? call(size, blockSize, reader, readerCls, freeReader) : nullptr;
}

MHD_Result MHD_add_response_header(MHD_Response* response, const char* header,
                                   const char* content) {
  DS_HTTP(MHD_add_response_header);
  return call != nullptr ? call(response, header, content) : MHD_NO;
}

const char* MHD_get_response_header(MHD_Response* response, const char* key) {
  DS_HTTP(MHD_get_response_header);
  return call != nullptr ? call(response, key) : nullptr;
}

MHD_Result MHD_queue_response(MHD_Connection* connection, unsigned int status,
                              MHD_Response* response) {
  DS_HTTP(MHD_queue_response);
  return call != nullptr ? call(connection, status, response) : MHD_NO;
}

void MHD_destroy_response(MHD_Response* response) {
  DS_HTTP(MHD_destroy_response);
  if (call != nullptr)
    call(response);
}

}  // extern "C"

// ---- GnuTLS: the check of the HTTPS certificate and key ----

#define DS_TLS(name) \
  static const auto call = ds::Find<decltype(&::name)>(ds::LateLibrary::Tls(), #name)

extern "C" {

const char* gnutls_strerror(int error) {
  DS_TLS(gnutls_strerror);
  return call != nullptr ? call(error) : "the TLS library is not loaded";
}

int gnutls_x509_crt_init(gnutls_x509_crt_t* cert) {
  DS_TLS(gnutls_x509_crt_init);
  return call != nullptr ? call(cert) : GNUTLS_E_INTERNAL_ERROR;
}

void gnutls_x509_crt_deinit(gnutls_x509_crt_t cert) {
  DS_TLS(gnutls_x509_crt_deinit);
  if (call != nullptr)
    call(cert);
}

int gnutls_x509_crt_import(gnutls_x509_crt_t cert, const gnutls_datum_t* data,
                           gnutls_x509_crt_fmt_t format) {
  DS_TLS(gnutls_x509_crt_import);
  return call != nullptr ? call(cert, data, format) : GNUTLS_E_INTERNAL_ERROR;
}

int gnutls_x509_privkey_init(gnutls_x509_privkey_t* key) {
  DS_TLS(gnutls_x509_privkey_init);
  return call != nullptr ? call(key) : GNUTLS_E_INTERNAL_ERROR;
}

void gnutls_x509_privkey_deinit(gnutls_x509_privkey_t key) {
  DS_TLS(gnutls_x509_privkey_deinit);
  if (call != nullptr)
    call(key);
}

int gnutls_x509_privkey_import2(gnutls_x509_privkey_t key, const gnutls_datum_t* data,
                                gnutls_x509_crt_fmt_t format, const char* password,
                                unsigned int flags) {
  DS_TLS(gnutls_x509_privkey_import2);
  return call != nullptr ? call(key, data, format, password, flags) : GNUTLS_E_INTERNAL_ERROR;
}

int gnutls_certificate_allocate_credentials(gnutls_certificate_credentials_t* credentials) {
  DS_TLS(gnutls_certificate_allocate_credentials);
  return call != nullptr ? call(credentials) : GNUTLS_E_INTERNAL_ERROR;
}

void gnutls_certificate_free_credentials(gnutls_certificate_credentials_t credentials) {
  DS_TLS(gnutls_certificate_free_credentials);
  if (call != nullptr)
    call(credentials);
}

int gnutls_certificate_set_x509_key_mem2(gnutls_certificate_credentials_t credentials,
                                         const gnutls_datum_t* cert, const gnutls_datum_t* key,
                                         gnutls_x509_crt_fmt_t format, const char* password,
                                         unsigned int flags) {
  DS_TLS(gnutls_certificate_set_x509_key_mem2);
  return call != nullptr ? call(credentials, cert, key, format, password, flags)
                         : GNUTLS_E_INTERNAL_ERROR;
}

}  // extern "C"
