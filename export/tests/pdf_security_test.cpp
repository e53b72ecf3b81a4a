// MD5 and RC4 against their published vectors, and the standard security handler checked by an
// independent reader: a small PDF protected by our keys opens in qpdf with either password and
// decrypts to the text and title that went in.

#include "export/pdf_security.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "export/md5.h"
#include "export/rc4.h"
#include "platform/core/tests/temp_dir.h"

namespace {

std::string Hex(const std::string& bytes) {
    static const char digits[] = "0123456789abcdef";
    std::string hex;
    for (unsigned char c : bytes) {
        hex += digits[c >> 4];
        hex += digits[c & 15];
    }
    return hex;
}

TEST(MD5, PublishedVectorsAndChunking) {
    struct Case {
        std::string text, digest;
    };
    for (const Case& c : std::vector<Case>{
             {"", "d41d8cd98f00b204e9800998ecf8427e"},
             {"a", "0cc175b9c0f1b6a831c399e269772661"},
             {"abc", "900150983cd24fb0d6963f7d28e17f72"},
             {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
             {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
             {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
              "57edf4a22be3c955ac49da2e2107b67a"},
         })
        EXPECT_EQ(MD5Hex(c.text), c.digest) << c.text;

    // Fed in uneven pieces across block edges, the digest is the same.
    const std::string text(1000, 'x');
    TpgwMD5 md5;
    for (std::size_t at = 0; at < text.size(); at += 37)
        md5.Update(text.data() + at, std::min<std::size_t>(37, text.size() - at));
    md5.Finish();
    EXPECT_EQ(DigestToHex(md5.Digest().data()), MD5Hex(text));
}

TEST(RC4, PublishedVectorsAndKeyLengths) {
    auto crypt = [](const std::string& key, const std::string& text) {
        TpgwRC4 rc4;
        rc4.Init(reinterpret_cast<const std::uint8_t*>(key.data()), key.size());
        std::string out(text.size(), '\0');
        rc4.Crypt(reinterpret_cast<const std::uint8_t*>(text.data()),
                  reinterpret_cast<std::uint8_t*>(out.data()), text.size());
        return out;
    };
    EXPECT_EQ(Hex(crypt("Key", "Plaintext")), "bbf316e8d940af0ad3");
    EXPECT_EQ(Hex(crypt("Wiki", "pedia")), "1021bf0420");
    EXPECT_EQ(Hex(crypt("Secret", "Attack at dawn")), "45a01f645fc35b383552544b9bf5");
    // Encrypting twice gives the text back.
    EXPECT_EQ(crypt("Key", crypt("Key", "round trip")), "round trip");

    // A key of no bytes or of more than 256 leaves the permutation as it was.
    TpgwRC4 rc4;
    rc4.Init(reinterpret_cast<const std::uint8_t*>("Key"), 3);
    rc4.Init(nullptr, 0);
    const std::string big(257, 'k');
    rc4.Init(reinterpret_cast<const std::uint8_t*>(big.data()), big.size());
    std::string out(9, '\0');
    rc4.Crypt(reinterpret_cast<const std::uint8_t*>("Plaintext"),
              reinterpret_cast<std::uint8_t*>(out.data()), 9);
    EXPECT_EQ(Hex(out), "bbf316e8d940af0ad3");
}

TEST(PDFSecurity, PermissionsPaddingAndEscapes) {
    EXPECT_EQ(PDFPermissionValue(15), -4);
    EXPECT_EQ(PDFPermissionValue(0), -64);
    EXPECT_EQ(PDFPermissionValue(1u << ePrint), -60);
    EXPECT_EQ(PadPassword("").size(), 32u);
    EXPECT_EQ(Hex(PadPassword("").substr(0, 4)), "28bf4e5e");
    EXPECT_EQ(PadPassword("abc").substr(0, 5), std::string("abc\x28\xbf"));
    EXPECT_EQ(PadPassword(std::string(40, 'p')), std::string(32, 'p'));
    EXPECT_EQ(EscapePDFString(std::string("a(b)c\\d\ne\rf\x01", 12)),
              std::string("a\\(b\\)c\\\\d\\ne\\rf\x01"));

    // Only an owner password: the user password is the padding alone; only a user password:
    // the owner's is the user's. Identifiers differ per export, so do the keys.
    const std::string id1 = "00112233445566778899aabbccddeeff";
    const std::string id2 = "ffeeddccbbaa99887766554433221100";
    const TpgwPDFEncryption a = TpgwPDFEncryption::Prepare("", "user", -4, id1);
    const TpgwPDFEncryption b = TpgwPDFEncryption::Prepare("user", "user", -4, id1);
    EXPECT_EQ(a.O, b.O);
    EXPECT_EQ(a.FileKey, b.FileKey);
    EXPECT_NE(TpgwPDFEncryption::Prepare("", "user", -4, id2).FileKey, a.FileKey);
    EXPECT_EQ(a.O.size(), 32u);
    EXPECT_EQ(a.U.size(), 32u);
    EXPECT_EQ(a.U.substr(16), std::string(16, '\0'));
    EXPECT_EQ(a.Encrypt("same length", 7).size(), 11u);
    EXPECT_NE(a.Encrypt("text", 7), a.Encrypt("text", 8));
}

// A one-page PDF with an encrypted content stream and title, as the export writes them.
std::string ProtectedPdf(const TpgwPDFEncryption& e, const std::string& id) {
    std::vector<std::string> objects;
    objects.push_back("<< /Type /Catalog /Pages 2 0 R >>");
    objects.push_back("<< /Type /Pages /Kids [3 0 R] /Count 1 >>");
    objects.push_back("<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Contents 4 0 R "
                      "/Resources << /Font << /F1 5 0 R >> >> >>");
    const std::string content = e.Encrypt("BT /F1 12 Tf 20 100 Td (Hello protected) Tj ET", 4);
    objects.push_back("<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content +
                      "\nendstream");
    objects.push_back("<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>");
    objects.push_back("<< /Title (" + EscapePDFString(e.Encrypt("Secret title", 6)) + ") >>");
    std::string pdf = "%PDF-1.5\n";
    std::vector<std::size_t> offsets;
    for (std::size_t i = 0; i < objects.size(); ++i) {
        offsets.push_back(pdf.size());
        pdf += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    const std::size_t xref = pdf.size();
    pdf += "xref\n0 " + std::to_string(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (std::size_t offset : offsets) {
        char line[24];
        std::snprintf(line, sizeof line, "%010zu 00000 n \n", offset);
        pdf += line;
    }
    pdf += "trailer\n<< /Size " + std::to_string(objects.size() + 1) +
           " /Root 1 0 R /Info 6 0 R\n/ID [<" + id + "><" + id + ">]\n" + e.Dictionary() +
           ">>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
    return pdf;
}

TEST(PDFSecurity, AnIndependentReaderOpensTheFileWithEitherPassword) {
    // qpdf comes with scripts/setup.
    ASSERT_EQ(std::system("command -v qpdf > /dev/null 2>&1"), 0) << "qpdf is not installed";
    TempDir dir;
    const std::string id = "0123456789abcdef0123456789abcdef";
    // Bytes that need escaping are likely somewhere in O and U; the reader must still agree.
    const TpgwPDFEncryption e =
        TpgwPDFEncryption::Prepare("owner", "user", PDFPermissionValue(1u << ePrint), id);
    const std::string in = dir / "protected.pdf";
    TempDir::WriteAll(in, ProtectedPdf(e, id));

    for (const char* password : {"user", "owner"}) {
        SCOPED_TRACE(password);
        const std::string out = dir / "plain.pdf";
        const std::string cmd = std::string("qpdf --password=") + password +
                                " --decrypt --qdf --object-streams=disable '" + in + "' '" + out +
                                "'";
        ASSERT_EQ(std::system(cmd.c_str()), 0);
        const std::string plain = TempDir::ReadAll(out);
        EXPECT_NE(plain.find("(Hello protected) Tj"), std::string::npos);
        EXPECT_NE(plain.find("Secret title"), std::string::npos);
    }
    const std::string info = dir / "encryption.txt";
    ASSERT_EQ(std::system(
                  ("qpdf --password=user --show-encryption '" + in + "' > '" + info + "'").c_str()),
              0);
    const std::string shown = TempDir::ReadAll(info);
    EXPECT_NE(shown.find("P = -60"), std::string::npos) << shown;
    EXPECT_NE(shown.find("R = 3"), std::string::npos) << shown;
    // A wrong password opens nothing.
    EXPECT_NE(std::system(("qpdf --password=wrong --check '" + in + "' > /dev/null 2>&1").c_str()),
              0);
}

} // namespace
