// launcher-admin check over HTTPS checks the server's certificate as the launcher does:
// against the system's store, here a throwaway CA bound over it in a private mount
// namespace, so nothing of the machine's own store changes.

#include <curl/curl.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/builders/pe_image.h"
#include "support/peers/lighttpd_server.h"
#include "support/system/subprocess.h"
#include "support/system/temp_dir.h"

using namespace testsupport;

namespace {

bool openssl(const TempDir& dir, const std::vector<std::string>& arguments, std::string& why) {
    ProgramOptions o;
    o.workingDirectory = dir.path();
    const ProgramResult result = runProgram("/usr/bin/openssl", arguments, o);
    why = result.err;
    return result.exitCode == 0;
}

// A CA, and a server certificate it issues for `subjectAltName`, as "NAME.pem/.key".
bool makeCertificate(const TempDir& dir, const std::string& name, const std::string& altName,
                     std::string& why) {
    if (!dir.exists("ca.pem") &&
        !openssl(dir,
                 {"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes",
                  "-keyout", "ca.key", "-out", "ca.pem", "-subj", "/CN=Check Test CA", "-days", "2",
                  "-addext", "basicConstraints=critical,CA:TRUE", "-addext",
                  "keyUsage=critical,keyCertSign"},
                 why))
        return false;
    dir.write(name + ".ext", "subjectAltName=" + altName + "\n");
    return openssl(dir,
                   {"req", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes",
                    "-keyout", name + ".key", "-out", name + ".csr", "-subj", "/CN=check test"},
                   why) &&
           openssl(
               dir,
               {"x509", "-req", "-in", name + ".csr", "-CA", "ca.pem", "-CAkey", "ca.key",
                "-CAcreateserial", "-out", name + ".pem", "-days", "2", "-extfile", name + ".ext"},
               why);
}

}  // namespace

TEST(CheckHttps, ACertificateForAnotherHostIsAProblem) {
    const ProgramResult probe = runProgram("/usr/bin/unshare", {"-rm", "true"});
    if (probe.exitCode != 0) GTEST_SKIP() << "no private mount namespace: " << probe.err;
    const curl_version_info_data* info = curl_version_info(CURLVERSION_NOW);
    const std::string store = info && info->cainfo ? info->cainfo : "";
    ASSERT_FALSE(store.empty()) << "libcurl names no certificate store";
    TempDir certificates;
    std::string why;
    ASSERT_TRUE(makeCertificate(certificates, "trusted", "IP:127.0.0.1", why)) << why;
    ASSERT_TRUE(makeCertificate(certificates, "wronghost", "DNS:wrong.invalid", why)) << why;

    struct Case {
        const char* certificate;
        int exitCode;
        const char* expected;
    };
    const Case cases[] = {
        {"trusted", 0, "no problems"},
        {"wronghost", 1, "1 problem(s):\n  version.txt: "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.certificate);
        TempDir dir;
        dir.write("release/ClientUpdate.exe", peImageOfVersion(2, 0, 13, 6));
        ProgramOptions o;
        o.workingDirectory = dir.path();
        const std::string admin = binaryPath("launcher-admin");
        ASSERT_EQ(runProgram(admin, {"publish", "release", "www"}, o).exitCode, 0);
        const std::string name = c.certificate;
        LighttpdServer server(dir.file("www"),
                              "server.modules += (\"mod_openssl\")\n"
                              "ssl.engine = \"enable\"\n"
                              "ssl.pemfile = \"" +
                                  certificates.file(name + ".pem") + "\"\nssl.privkey = \"" +
                                  certificates.file(name + ".key") + "\"\n");
        ASSERT_TRUE(server.running()) << server.errorLog();
        const std::string url = "https://127.0.0.1:" + std::to_string(server.port()) + "/";
        dir.write("game/update.ini", "[BOOT]\nVersionURL=" + url + "\nDownloadURL=" + url + "\n");

        for (const char* variable : {"SSL_CERT_FILE", "SSL_CERT_DIR", "CURL_CA_BUNDLE"})
            o.unsetEnvironment.push_back(variable);
        const ProgramResult checked = runProgram(
            "/usr/bin/unshare",
            {"-rm", "/bin/sh", "-c", "mount --bind \"$1\" \"$2\" && shift 2 && exec \"$@\"", "sh",
             certificates.file("ca.pem"), store, admin, "check", "game", "--timeout", "10"},
            o);
        EXPECT_EQ(checked.exitCode, c.exitCode) << checked.out << checked.err;
        EXPECT_NE(checked.out.find(c.expected), std::string::npos) << checked.out;
    }
}
