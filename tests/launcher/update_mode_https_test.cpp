// HTTPS base URLs end to end: the launcher checks the server's certificate against the
// system's certificate store. It runs in a private mount namespace in which a throwaway
// CA's certificate lies where libcurl looks for the store, so the real lookup is used;
// nothing of the machine's own store changes. lighttpd serves with certificates made
// by openssl for the test.

#include <curl/curl.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/builders/argument_records.h"
#include "support/builders/game_folder.h"
#include "support/builders/zip_builder.h"
#include "support/peers/lighttpd_server.h"
#include "support/sandbox/pid_namespace.h"
#include "support/system/subprocess.h"
#include "support/system/temp_dir.h"

using namespace testsupport;

namespace {

// The store libcurl was built to use, as the launcher's libcurl reads it.
std::string systemCertificateStore() {
    const curl_version_info_data* info = curl_version_info(CURLVERSION_NOW);
    return info && info->cainfo ? info->cainfo : "";
}

bool privateMountsAvailable(std::string& why) {
    const ProgramResult probe = runProgram("/usr/bin/unshare", {"-rm", "true"});
    why = probe.err;
    return probe.exitCode == 0;
}

// A CA and the server certificates it signs, in one temporary folder.
class Certificates {
public:
    bool make(std::string& why) {
        return openssl({"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256",
                        "-nodes", "-keyout", "ca.key", "-out", "ca.pem", "-subj",
                        "/CN=Launcher Test CA", "-days", "2", "-addext",
                        "basicConstraints=critical,CA:TRUE", "-addext",
                        "keyUsage=critical,keyCertSign"},
                       why) &&
               issued("trusted", "IP:127.0.0.1", why) &&
               issued("wronghost", "DNS:wrong.invalid", why) &&
               openssl({"req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256",
                        "-nodes", "-keyout", "selfsigned.key", "-out", "selfsigned.pem", "-subj",
                        "/CN=127.0.0.1", "-days", "2", "-addext", "subjectAltName=IP:127.0.0.1"},
                       why);
    }
    std::string file(const std::string& name) const { return dir_.file(name); }

private:
    bool issued(const std::string& name, const std::string& subjectAltName, std::string& why) {
        dir_.write(name + ".ext", "subjectAltName=" + subjectAltName + "\n");
        return openssl({"req", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256", "-nodes",
                        "-keyout", name + ".key", "-out", name + ".csr", "-subj",
                        "/CN=launcher test server"},
                       why) &&
               openssl({"x509", "-req", "-in", name + ".csr", "-CA", "ca.pem", "-CAkey", "ca.key",
                        "-CAcreateserial", "-out", name + ".pem", "-days", "2", "-extfile",
                        name + ".ext"},
                       why);
    }
    bool openssl(const std::vector<std::string>& arguments, std::string& why) const {
        ProgramOptions o;
        o.workingDirectory = dir_.path();
        const ProgramResult result = runProgram("/usr/bin/openssl", arguments, o);
        why = result.err;
        return result.exitCode == 0;
    }

    TempDir dir_;
};

}  // namespace

TEST(UpdateModeHttps, OnlyACertificateTheStoreVouchesForServesTheUpdate) {
    // The hand-over ends every "ClientUpdate.exe" it sees.
    if (rerunInOwnPidNamespace()) return;
    std::string why;
    if (!privateMountsAvailable(why)) GTEST_SKIP() << "no private mount namespace: " << why;
    const std::string store = systemCertificateStore();
    ASSERT_FALSE(store.empty()) << "libcurl names no certificate store";
    Certificates certificates;
    ASSERT_TRUE(certificates.make(why)) << why;

    struct Case {
        const char* label;
        const char* certificate;  // the server's, with its key beside it
        bool served;
        int alerts;  // refused handshakes that lighttpd logs; -1 when it logs none
    };
    // clang-format off
    const Case cases[] = {
        {"issued by the store's CA for 127.0.0.1", "trusted", true, 0},
        {"self-signed", "selfsigned", false, 3},
        // libcurl compares the name after the handshake and just hangs up.
        {"issued by the store's CA for another name", "wronghost", false, -1},
    };
    // clang-format on
    const std::string recorder = readFile(binaryPath("record_args"));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.label);
        GameFolder game;
        TempDir packages;
        game.dir().copyIn(binaryPath("record_args"), "ClientUpdate.exe");
        packages.write("version.txt", "[Current Version]\nUpdateFile=2.0.13.6.zip\n");
        packages.write("2.0.13.6.zip",
                       buildZip({unixEntry("ClientUpdate.exe", recorder + "release 2", 0100755)}));
        const std::string name = c.certificate;
        const std::string tls =
            "server.modules += (\"mod_openssl\")\n"
            "ssl.engine = \"enable\"\n"
            "debug.log-ssl-noise = \"enable\"\n"
            "ssl.pemfile = \"" +
            certificates.file(name + ".pem") + "\"\n" + "ssl.privkey = \"" +
            certificates.file(name + ".key") + "\"\n";
        LighttpdServer server(packages.path(), tls);
        ASSERT_TRUE(server.running());
        const std::string url = "https://127.0.0.1:" + std::to_string(server.port()) + "/";
        game.dir().write("update.ini", "[BOOT]\nVersionURL=" + url + "\nDownloadURL=" + url + "\n");

        ProgramOptions o = game.options();
        for (const char* name : {"SSL_CERT_FILE", "SSL_CERT_DIR", "CURL_CA_BUNDLE"})
            o.unsetEnvironment.push_back(name);
        const ProgramResult result = runProgram(
            "/usr/bin/unshare",
            {"-rm", "/bin/sh", "-c", "mount --bind \"$1\" \"$2\" && shift 2 && exec \"$@\"", "sh",
             certificates.file("ca.pem"), store, game.program()},
            o);

        std::vector<std::string> requests;
        const std::string errors = server.errorLog();
        for (const auto& line : server.stopAndReadLog()) {
            // Over HTTP/2 lighttpd also logs the connection preface ("PRI *").
            if (line.request.rfind("GET ", 0) != 0) continue;
            requests.push_back(line.request.substr(0, line.request.rfind(' ')) + " " +
                               std::to_string(line.status));
        }
        if (c.served) {
            EXPECT_EQ(result.exitCode, 0) << result.err;
            EXPECT_EQ(result.err.find("fail!!"), std::string::npos) << result.err;
            EXPECT_TRUE(game.dir().read("ClientUpdate.exe") == recorder + "release 2");
            EXPECT_EQ(waitForArgumentRecords(game.path(), 1), ArgumentRecords{{"4718"}});
            EXPECT_EQ(requests,
                      (std::vector<std::string>{"GET /version.txt 200", "GET /2.0.13.6.zip 200"}));
        } else {
            // A certificate that does not verify fails each attempt like any transfer error.
            EXPECT_EQ(result.exitCode, 254) << result.err;
            EXPECT_NE(result.err.find("[Error] Download " + url + ":0 version.txt fail!!\n"),
                      std::string::npos)
                << result.err;
            EXPECT_TRUE(requests.empty());
            EXPECT_TRUE(game.dir().read("ClientUpdate.exe") == recorder);
        }
        if (c.alerts >= 0) {
            int logged = 0;
            for (size_t at = errors.find(" alert "); at != std::string::npos;
                 at = errors.find(" alert ", at + 1))
                ++logged;
            EXPECT_EQ(logged, c.alerts) << errors;
        }
    }
}
