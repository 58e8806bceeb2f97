// Deleting by content: sample files whose bytes are to be taken out of every archive, whatever the
// entry's name or folder. A sample is kept as its size, CRC32 and SHA-256, so that a saved job cleans
// archives on a machine that does not have the sample file. The archiver's technical listing gives each
// entry's size and CRC32; an entry equal to a sample in both is only a candidate, confirmed byte for
// byte by the SHA-256 of the bytes the archiver unpacks (a CRC32 is easily forged, and four chosen
// bytes give any value).
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "core/file_references.h"

namespace rarbatch {

// The CRC32 of zip and RAR (reflected polynomial 0xEDB88320): `crc` is 0 to start, then each result.
std::uint32_t Crc32Update(std::uint32_t crc, const void* data, std::size_t size);

// "40AA2191", as the listing writes it; and back (8 hex digits, either case), nothing otherwise.
std::wstring Crc32Text(std::uint32_t crc);
std::optional<std::uint32_t> ParseCrc32Text(const std::wstring& text);

// Whether `text` is 64 lower-case hex digits.
bool IsSha256Hex(const std::string& text);

// The sample's name as the lists show it (the file name of its origin, or "样本 <digest start>"), and
// the first 12 digits of its SHA-256.
std::wstring SampleName(const ContentSample& sample);
std::wstring DigestStart(const ContentSample& sample);

// Why a sample cannot be used: an empty one would take every empty entry. Nothing when it can.
std::optional<std::wstring> SampleRefusal(const ContentSample& sample);

// Whether `samples` already holds one with the same bytes (the same SHA-256 and size).
bool HasSample(const std::vector<ContentSample>& samples, const ContentSample& sample);

// An entry of the listing that may hold a sample's bytes: its position in the listing and the samples
// it may hold (those of its size, and of its CRC32 when the CRC32 tells).
struct ContentCandidate {
  std::size_t Entry = 0;
  std::vector<std::size_t> Samples;
  bool operator==(const ContentCandidate&) const = default;
};

// What the listing alone says: the entries to compare byte for byte, in listing order, and those of a
// sample's size that are encrypted and cannot be compared without the password. An unencrypted
// entry's CRC32 is that of its bytes; in RAR 5 an encrypted entry's is changed by the password (the
// listing says "CRC32 MAC"), so with `havePassword` every encrypted entry of a sample's size is
// compared by unpacking it. File references and hard links have no bytes of their own: they are never
// candidates, and follow their target (ConcludeContent).
struct ContentScan {
  std::vector<ContentCandidate> Candidates;
  std::vector<std::size_t> NeedPassword;
};
ContentScan ScanForContent(const std::vector<ListedEntry>& entries, const std::vector<ContentSample>& samples,
                           bool havePassword);

// An entry found by content, and the sample it holds.
struct ContentMatch {
  std::wstring Entry;
  std::size_t Sample = 0;
  bool operator==(const ContentMatch&) const = default;
};

// What deleting by content found in one archive.
struct ContentFindings {
  bool Listed = false;                     // the archive was listed and compared
  std::vector<ContentMatch> Matches;       // confirmed, in listing order: deleted by their exact paths
  std::vector<std::wstring> NotCompared;   // encrypted entries of a sample's size, without the password
  std::vector<std::wstring> Unreadable;    // candidates whose bytes the archiver did not give
  std::vector<std::wstring> NotNameable;   // matches that no name takes alone ('*' or '?' in it, a
                                           // trailing '.'), so they are left in the archive
  std::vector<std::size_t> Overbroad;      // samples that match more than half the archive's entries
  std::vector<std::wstring> ByName;        // entries the job's delete names take, from the same listing
  bool operator==(const ContentFindings&) const = default;
};

// From the listing, the scan and each candidate's SHA-256 as the archiver unpacked it (in the scan's
// order; nothing for one whose bytes were not read): the confirmed matches, then every file reference
// or hard link whose target matched (it restores the target's bytes, so it holds the sample too, and
// deleting the target alone would leave it unpackable), then the words for what could not be done.
// `deleteNames` are the job's delete names (SplitDeleteEntries' Names), for ByName.
ContentFindings ConcludeContent(const std::vector<ListedEntry>& entries, const std::vector<ContentSample>& samples,
                                const ContentScan& scan, const std::vector<std::optional<std::string>>& digests,
                                const std::vector<std::wstring>& deleteNames);

// The row's words for what could not be done: "无法比较：需要密码：<entries>", "无法读取内容：…",
// "无法按确切路径删除：…", "样本 <name> 与超过一半的文件相同" joined by "；"; empty when all went well.
std::wstring DescribeContentProblems(const ContentFindings& findings, const std::vector<ContentSample>& samples);

// The entries to delete by content, in listing order: the matches' paths.
std::vector<std::wstring> ContentEntries(const ContentFindings& findings);

}  // namespace rarbatch
