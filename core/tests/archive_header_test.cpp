// Reading an archive's signature and main header, and the reasons no call can succeed.
#include "core/archive_header.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <iterator>

#ifndef _WIN32
#include <unistd.h>
#endif

namespace rarbatch {
namespace {

// Bytes from hex digits; spaces only separate the fields of a header.
std::string Hex(std::string_view digits) {
  std::string bytes;
  int high = -1;
  for (const char c : digits) {
    if (c == ' ') continue;
    const int nibble = c <= '9' ? c - '0' : c - 'a' + 10;
    if (high < 0) {
      high = nibble;
    } else {
      bytes.push_back(static_cast<char>(high * 16 + nibble));
      high = -1;
    }
  }
  return bytes;
}

// The header as one line, for readable tables and failures: "Rar5 volume first locked".
std::string Describe(const ArchiveHeader& h) {
  static const char* const kFormats[] = {"NotRar", "Program", "UnknownRar", "Rar4", "Rar5"};
  std::string text = kFormats[static_cast<int>(h.Format)];
  for (const auto& [set, name] : {std::pair{h.Damaged, " damaged"},
                                  {h.Volume, " volume"},
                                  {h.FirstVolume, " first"},
                                  {h.Locked, " locked"},
                                  {h.Solid, " solid"},
                                  {h.NamesEncrypted, " names-encrypted"},
                                  {h.RecoveryRecord, " recovery"}}) {
    if (set) text += name;
  }
  return text;
}

struct Case {
  const char* What;
  const char* Expected;
  std::string Bytes;
};

// The first bytes of archives that rar 7.01 made of one small file a.txt (two for -s, a 3000-byte
// big.bin for -v1k): signature, CRC32, header size, header (for -hp the encryption header:
// type, flags, version, flags, KDF count, salt, check value), then 8 bytes of what follows (2 for -hp).
TEST(ReadArchiveHeader, ArchivesTheArchiverMade) {
  const Case cases[] = {
      {"rar a plain.rar a.txt", "Rar5",
       Hex("526172211a070100 3392b5e5 0a 01050600050101808000 751607bf2302030b")},
      {"rar a locked.rar a.txt, then rar k locked.rar", "Rar5 locked",
       Hex("526172211a070100 fd0e6b82 0a 01050610050101808000 d7c87dad2102030b")},
      {"rar a -hpsecret hp.rar a.txt: the encryption header comes first", "Rar5 names-encrypted",
       Hex("526172211a070100 71dfd8a7 21 040000010f"
           "cbeac1e7d1b91597a43f53b9a7358b57ec9c58bbf81ad41e545157ee 14c8")},
      {"rar a -psecret p.rar a.txt: the data is encrypted, the names are not", "Rar5",
       Hex("526172211a070100 3392b5e5 0a 01050600050101808000 fcc2e9a35402033c")},
      {"rar a -zc.txt comment.rar a.txt: the comment is a header of its own after the main header", "Rar5",
       Hex("526172211a070100 3392b5e5 0a 01050600050101808000 c912195b13030285")},
      {"rar a -s solid.rar a.txt c.txt", "Rar5 solid",
       Hex("526172211a070100 20b6fa11 0a 01050604050101808000 3ac7bb9b2302030b")},
      {"rar a -m0 -v1k vol.rar big.bin: vol.part1.rar", "Rar5 volume first",
       Hex("526172211a070100 6de12827 0b 0105070106010180808000 91bbd64c2502130b")},
      {"the same: vol.part2.rar, volume number 1", "Rar5 volume",
       Hex("526172211a070100 a9c2c4ca 0c 010507030106010180808000 b600c1bf25021b0b")},
      {"rar a -rr5% rr.rar of 2,000,000 random bytes: flag 0x0008 and a locator in the extra area",
       "Rar5 recovery",
       Hex("526172211a070100 1e83c7c2 11 01050d080c0103c689fa8000938afa8000 8e0111e02b02030b")},
  };
  for (const Case& c : cases) EXPECT_EQ(Describe(ReadArchiveHeader(c.Bytes)), c.Expected) << c.What;
}

// Fields: signature, HEAD_CRC, HEAD_TYPE, HEAD_FLAGS, HEAD_SIZE, the rest; the CRC from zlib's crc32.
TEST(ReadArchiveHeader, Rar4MainHeadersMadeByHand) {
  const Case cases[] = {
      {"no flags", "Rar4", Hex("526172211a0700 cf90 73 0000 0d00 000000000000")},
      {"locked", "Rar4 locked", Hex("526172211a0700 b530 73 0400 0d00 000000000000")},
      {"first volume", "Rar4 volume first", Hex("526172211a0700 b2ef 73 0101 0d00 000000000000")},
      {"later volume", "Rar4 volume", Hex("526172211a0700 f1fb 73 0100 0d00 000000000000")},
      {"block headers encrypted", "Rar4 names-encrypted",
       Hex("526172211a0700 ce99 73 8000 0d00 000000000000")},
      {"solid, with a comment", "Rar4 solid", Hex("526172211a0700 0600 73 0a00 0d00 000000000000")},
      {"encryption version byte, CRC over the whole header", "Rar4 names-encrypted",
       Hex("526172211a0700 82c7 73 8002 0e00 0000000000001d")},
      {"recovery record (MHD_PROTECT)", "Rar4 recovery", Hex("526172211a0700 6f97 73 4000 0d00 000000000000")},
      {"locked, with a recovery record", "Rar4 locked recovery",
       Hex("526172211a0700 1537 73 4400 0d00 000000000000")},
      {"locked flag with the CRC of another header", "Rar4 damaged",
       Hex("526172211a0700 b430 73 0400 0d00 000000000000")},
      {"a file header where the main header belongs", "Rar4 damaged",
       Hex("526172211a0700 4c85 74 0000 0d00 000000000000")},
      {"HEAD_SIZE below the fixed fields", "Rar4 damaged",
       Hex("526172211a0700 cf90 73 0000 0c00 000000000000")},
      {"cut one byte short", "Rar4 damaged", Hex("526172211a0700 cf90 73 0000 0d00 0000000000")},
  };
  for (const Case& c : cases) EXPECT_EQ(Describe(ReadArchiveHeader(c.Bytes)), c.Expected) << c.What;
}

// The locator gives where the record starts; with the file's size that is the record's size, and the
// percent asked for on the last change gives at least as much back.
TEST(RecoveryRecord, PlaceSizeAndThePercentThatKeepsIt) {
  // rar a -rr5% of 2,000,000 random bytes: 2,116,928 bytes, the record's data 116,740 of them.
  const ArchiveHeader made = ReadArchiveHeader(
      Hex("526172211a070100 1e83c7c2 11 01050d080c0103c689fa8000938afa8000 8e0111e02b02030b"));
  EXPECT_EQ(made.RecoveryOffset, 2000147u);
  EXPECT_EQ(RecoveryRecordSize(made, 2116928), 116781u) << "its data, its header and the end header";
  EXPECT_EQ(RecoveryPercentToKeep(made, 2116928), 7u) << "5.84 % of the data before it, rounded up, plus one";

  ArchiveHeader header{ArchiveFormat::Rar5};
  EXPECT_EQ(RecoveryPercentToKeep(header, 1000), 0u) << "no record, no -rr";
  header.RecoveryRecord = true;
  EXPECT_EQ(RecoveryPercentToKeep(header, 1000), kFallbackRecoveryPercent) << "a record of unknown size";
  header.RecoveryOffset = 1000;
  EXPECT_EQ(RecoveryPercentToKeep(header, 1000), kFallbackRecoveryPercent) << "a place past the file's end";
  EXPECT_EQ(RecoveryRecordSize(header, 500), 0u);
  EXPECT_EQ(RecoveryPercentToKeep(header, 1100), 11u) << "exactly 10 %";
  EXPECT_EQ(RecoveryPercentToKeep(header, 1101), 12u);
  header.RecoveryOffset = 10;
  EXPECT_EQ(RecoveryPercentToKeep(header, 100000), kMostRecoveryPercent) << "the archiver takes no more";
  EXPECT_EQ(RecoveryPercentToKeep(header, ~0ull), kMostRecoveryPercent) << "no overflow";
  header.RecoveryOffset = 8000;
  EXPECT_EQ(RecoveryPercentToKeep(header, 8000 + 799), 11u) << "9.99 % rounds up to 10, plus one";
}

// A RAR 5 main header with a recovery record (archive flag 0x0008) and `extra` as its extra area,
// whose size field says `extraSize`; the CRC made to match.
std::string WithExtraArea(const std::string& extra, std::size_t extraSize) {
  const std::string body = Hex("0101") + static_cast<char>(extraSize) + Hex("08") + extra;
  const std::string sized = static_cast<char>(body.size()) + body;
  std::uint32_t crc = 0xFFFFFFFFu;
  for (const char c : sized) {
    crc ^= static_cast<unsigned char>(c);
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  crc = ~crc;
  std::string bytes = Hex("526172211a070100");
  for (int i = 0; i < 4; ++i) bytes += static_cast<char>((crc >> (8 * i)) & 0xFF);
  return bytes + sized;
}

// The locator is only believed where it is whole: anything else gives no place, never a read past it.
TEST(ReadArchiveHeader, HostileLocators) {
  const struct {
    const char* What;
    std::string Extra;
    int ExtraSize;  // -1: the extra area's own size
    std::uint64_t Offset;
  } cases[] = {
      {"a locator with both offsets", Hex("05 01 03 05 e807"), -1, 1000},
      {"the record's offset alone", Hex("04 01 02 e807"), -1, 1000},
      {"an unknown record, then the locator", Hex("02 7f 00 04 01 02 e807"), -1, 1000},
      {"no record offset", Hex("03 01 01 05"), -1, 0},
      {"the offset cut", Hex("04 01 03 05 e8"), -1, 0},
      {"a record longer than the area", Hex("09 01 02 e807"), -1, 0},
      {"a record of size 0", Hex("00 01 02 e807"), -1, 0},
      {"an extra size past the header", Hex("04 01 02 e807"), 40, 0},
      {"an extra size that cuts the record", Hex("04 01 02 e807"), 3, 0},
  };
  for (const auto& c : cases) {
    const std::size_t size = c.ExtraSize < 0 ? c.Extra.size() : static_cast<std::size_t>(c.ExtraSize);
    const ArchiveHeader header = ReadArchiveHeader(WithExtraArea(c.Extra, size));
    EXPECT_EQ(Describe(header), "Rar5 recovery") << c.What;
    EXPECT_EQ(header.RecoveryOffset, c.Offset) << c.What;
  }
}

TEST(ReadArchiveHeader, CutBrokenAndHostileInput) {
  const std::string plain = Hex("526172211a070100 3392b5e5 0a 01050600050101808000");
  std::string lockedWithoutNewCrc = plain;
  lockedWithoutNewCrc[16] = '\x10';
  const Case cases[] = {
      {"empty", "NotRar", ""},
      {"a zip", "NotRar", Hex("504b0304140000000800")},
      {"zeros", "NotRar", std::string(kArchiveHeaderReadSize, '\0')},
      {"cut inside the signature", "NotRar", plain.substr(0, 5)},
      {"a program, perhaps self-extracting", "Program", Hex("4d5a90000300000004000000ffff0000")},
      {"the 1.4 format", "UnknownRar", Hex("52457e5e")},
      {"a later format version", "UnknownRar", Hex("526172211a070200 3392b5e5")},
      {"cut before the format version", "UnknownRar", plain.substr(0, 6)},
      {"RAR 5 signature broken in its last byte", "Rar5 damaged", Hex("526172211a070101 3392b5e5 0a")},
      {"locked flag set under the unlocked header's CRC", "Rar5 damaged", lockedWithoutNewCrc},
      {"header size 0", "Rar5 damaged", Hex("526172211a070100 00000000 00")},
      {"header size far past the bytes", "Rar5 damaged", Hex("526172211a070100 3392b5e5 ffffffff0f 0105")},
      {"header size of 11 bytes", "Rar5 damaged", Hex("526172211a070100 3392b5e5 8080808080808080808001 01")},
      {"a file header first", "Rar5 damaged", Hex("526172211a070100 719b99be 02 0205")},
      {"archive flags past the header's end", "Rar5 damaged", Hex("526172211a070100 b54b27a6 03 010506")},
      {"with a data area", "Rar5 volume first locked", Hex("526172211a070100 f9621dd9 05 0103000511")},
      {"archive flags in 10 bytes", "Rar5 locked",
       Hex("526172211a070100 22c501ea 0c 010090808080808080808000")},
      {"a 10-byte number beyond 64 bits", "Rar5 damaged",
       Hex("526172211a070100 0ea40f04 0c 010090808080808080808002")},
      {"archive flags in 11 bytes", "Rar5 damaged",
       Hex("526172211a070100 91d604a1 0d 01009080808080808080808000")},
  };
  for (const Case& c : cases) EXPECT_EQ(Describe(ReadArchiveHeader(c.Bytes)), c.Expected) << c.What;
  // Every cut of a whole header, including inside the CRC and the size: nothing read past the end.
  for (std::size_t length = 7; length < plain.size(); ++length) {
    EXPECT_EQ(Describe(ReadArchiveHeader(plain.substr(0, length))), "Rar5 damaged") << length;
  }
}

TEST(WhyNoCallCanSucceed, GivesTheReasonOnlyWhenEveryCallMustFail) {
  const auto header = [](const char* bytes) { return ReadArchiveHeader(Hex(bytes)); };
  const ArchiveHeader plain = header("526172211a070100 3392b5e5 0a 01050600050101808000");
  const ArchiveHeader locked = header("526172211a070100 fd0e6b82 0a 01050610050101808000");
  const ArchiveHeader namesEncrypted = header(
      "526172211a070100 71dfd8a7 21 040000010fcbeac1e7d1b91597a43f53b9a7358b57ec9c58bbf81ad41e545157ee");
  const ArchiveHeader volume = header("526172211a070100 a9c2c4ca 0c 010507030106010180808000");
  const ArchiveHeader rar4LockedEncrypted{ArchiveFormat::Rar4, false, false, false, true, false, true};
  const ArchiveHeader damagedLooksLocked = header("526172211a070100 3392b5e5 0a 01050610050101808000");

  BatchJob deletes, adds, addsWithPassword, comments, locks, deletesAndLocks;
  deletes.DeleteNames = {L"*.txt"};
  adds.AddFiles = {L"C:\\x.txt"};
  addsWithPassword = adds;
  addsWithPassword.UsePassword = true;
  addsWithPassword.Password = L"secret";
  comments.CommentFile = L"C:\\c.txt";
  locks.Lock = true;
  deletesAndLocks = deletes;
  deletesAndLocks.Lock = true;
  BatchJob samples, samplesWithPassword;
  samples.Samples = {{3, 0, std::string(64, 'a'), L"ad.png"}};
  samplesWithPassword = samples;
  samplesWithPassword.UsePassword = true;
  samplesWithPassword.Password = L"secret";

  const std::wstring none;
  const struct {
    const char* What;
    ArchiveHeader Header;
    const BatchJob& Job;
    std::wstring Reason;
  } cases[] = {
      {"not RAR", header("504b0304"), comments, L"不是 RAR 压缩包"},
      {"a program", header("4d5a9000"), deletes, none},
      {"damaged: the archiver reports", damagedLooksLocked, deletes, none},
      {"plain", plain, deletesAndLocks, none},
      {"locked, delete", locked, deletes, L"已锁定"},
      {"locked, lock again", locked, locks, L"已锁定"},
      {"locked beats encrypted names", rar4LockedEncrypted, addsWithPassword, L"已锁定"},
      {"encrypted names, comment", namesEncrypted, comments, L"文件名已加密，需要密码"},
      {"encrypted names, add without password", namesEncrypted, adds, L"文件名已加密，需要密码"},
      {"encrypted names, add with password", namesEncrypted, addsWithPassword, none},
      {"encrypted names, samples without password", namesEncrypted, samples, L"文件名已加密，需要密码"},
      {"encrypted names, samples with password: listed and compared with it", namesEncrypted,
       samplesWithPassword, none},
      {"volume, delete", volume, deletes, L"分卷压缩包不能删除或添加文件"},
      {"volume, add", volume, addsWithPassword, L"分卷压缩包不能删除或添加文件"},
      {"volume, samples: a match could not be deleted", volume, samples, L"分卷压缩包不能删除或添加文件"},
      {"volume, comment", volume, comments, none},
      {"volume, delete and lock: the delete fails first, and nothing follows a failed step", volume,
       deletesAndLocks, L"分卷压缩包不能删除或添加文件"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(WhyNoCallCanSucceed(c.Header, c.Job).value_or(none), c.Reason) << c.What;
  }
}

#ifndef _WIN32
// The archiver on this machine makes each kind of archive now, and its header reads as it should.
TEST(ReadArchiveHeader, AgreesWithTheInstalledArchiver) {
  if (access("/usr/bin/rar", X_OK) != 0) GTEST_SKIP() << "/usr/bin/rar is not installed";
  char folderTemplate[] = "/tmp/rarbatch-header-XXXXXX";
  ASSERT_NE(mkdtemp(folderTemplate), nullptr);
  const std::string folder = folderTemplate;
  const struct {
    const char* Command;  // run in the folder, which holds a.txt and big.bin
    const char* Archive;
    const char* Expected;
  } cases[] = {
      {"rar a plain.rar a.txt", "plain.rar", "Rar5"},
      {"rar a locked.rar a.txt && rar k locked.rar", "locked.rar", "Rar5 locked"},
      {"rar a -hpsecret hp.rar a.txt", "hp.rar", "Rar5 names-encrypted"},
      {"rar a -psecret p.rar a.txt", "p.rar", "Rar5"},
      {"rar a -za.txt comment.rar a.txt", "comment.rar", "Rar5"},
      {"rar a -s -rr1% solid.rar a.txt big.bin", "solid.rar", "Rar5 solid recovery"},
      {"rar a -rr1% rr.rar a.txt && rar k rr.rar", "rr.rar", "Rar5 locked"},
      {"rar a -rr1% rrk.rar a.txt && rar k -rr1% rrk.rar", "rrk.rar", "Rar5 locked recovery"},
      {"rar a -m0 -v1k vol.rar big.bin", "vol.part1.rar", "Rar5 volume first"},
      {"rar t vol.part1.rar", "vol.part3.rar", "Rar5 volume"},
  };
  const std::string setUp = "cd " + folder + " && printf hello > a.txt && head -c 3000 /dev/zero > big.bin";
  ASSERT_EQ(std::system(setUp.c_str()), 0);
  for (const auto& c : cases) {
    const std::string command =
        "cd " + folder + " && export PATH=/usr/bin:/bin && (" + c.Command + ") </dev/null >/dev/null 2>&1";
    EXPECT_EQ(std::system(command.c_str()), 0) << c.Command;
    std::ifstream file(folder + "/" + c.Archive, std::ios::binary);
    std::string bytes(kArchiveHeaderReadSize, '\0');
    file.read(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    bytes.resize(static_cast<std::size_t>(file.gcount()));
    EXPECT_EQ(Describe(ReadArchiveHeader(bytes)), c.Expected) << c.Command;
  }
  std::system(("rm -rf " + folder).c_str());
}
#endif

}  // namespace
}  // namespace rarbatch
