#include <gtest/gtest.h>
#include <httplib.h>

#include <filesystem>
#include <fstream>

#include "platform/file_system.h"
#include "tests/run_program.h"
#include "tests/temp_folder.h"
#include "web/shell_server.h"

namespace ds {
namespace {

// The window over HTTPS with a certificate made for the test: a client that trusts it gets
// the shell; plain HTTP gets nothing; the machine's other names pass the Host check.
TEST(ShellServerTlsTest, ServesTheWindowOverHttpsOnly) {
  TempFolder folder;
  const std::string cert = folder.path() + "cert.pem", key = folder.path() + "key.pem";
  std::string output;
  ASSERT_EQ(RunProgram({"/usr/bin/openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt",
                        "ec_paramgen_curve:prime256v1", "-nodes", "-keyout", key, "-out", cert,
                        "-days", "1", "-subj", "/CN=127.0.0.1", "-addext",
                        "subjectAltName=IP:127.0.0.1,DNS:plant-pc"},
                       &output),
            0);
  std::filesystem::create_directories(folder.path() + "data/shell");
  std::ofstream(folder.path() + "data/shell/index.html") << "<html>shell</html>";
  ShellServerOptions options;
  options.dataFolders = {folder.path() + "data/"};
  options.token = "0123456789abcdef0123456789abcdef";
  options.extraHostNames = {"plant-pc"};
  std::string message;
  ASSERT_TRUE(ReadWholeFile(cert, 1 << 20, &options.tlsCertPem, &message));
  ASSERT_TRUE(ReadWholeFile(key, 1 << 20, &options.tlsKeyPem, &message));
  WebShell shell{std::chrono::seconds(5)};
  CookieJar cookies;
  ShellServer server(options, &shell, &cookies, [](const ShellInput&) { return true; });
  ASSERT_TRUE(server.Start(&message)) << message;
  const std::string shellPath = "/" + options.token + "/";

  httplib::SSLClient secure("127.0.0.1", server.port());
  secure.set_ca_cert_path(cert.c_str());
  secure.enable_server_certificate_verification(true);
  auto page = secure.Get(shellPath);
  ASSERT_TRUE(page) << httplib::to_string(page.error());
  EXPECT_EQ(page->status, 200);
  EXPECT_EQ(page->body, "<html>shell</html>");
  const std::string port = std::to_string(server.port());
  EXPECT_EQ(secure.Get(shellPath, {{"Host", "plant-pc:" + port}})->status, 200);
  EXPECT_EQ(secure.Get(shellPath, {{"Host", "evil.example:" + port}})->status, 403);
  EXPECT_EQ(secure.Get(shellPath, {{"Origin", "http://127.0.0.1:" + port}})->status, 403);

  httplib::Client plain("127.0.0.1", server.port());
  plain.set_read_timeout(3, 0);
  auto clear = plain.Get(shellPath);
  EXPECT_TRUE(!clear || clear->status != 200);
  server.Stop();
}

}  // namespace
}  // namespace ds
