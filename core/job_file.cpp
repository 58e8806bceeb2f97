// The .rbjob format: one JSON object, read strictly (every field of its type), so that a damaged or
// foreign file is refused with a reason instead of filling the window with half a job.
#include "core/job_file.h"

#include <nlohmann/json.hpp>

#include <cwctype>
#include <vector>

#include "core/content_samples.h"
#include "core/number_text.h"
#include "core/utf8.h"

namespace rarbatch {

namespace {

using Json = nlohmann::json;

// Deeper nesting than this is no job of ours; refusing it first keeps any parser off a file of a
// million '['.
constexpr int kMaxNesting = 16;

struct TextField {
  const char* Key;
  std::wstring BatchJob::*Member;
};
constexpr TextField kTextFields[] = {
    {"archiver", &BatchJob::RarPath},
    {"comment_file", &BatchJob::CommentFile},
};

struct ListField {
  const char* Key;
  std::vector<std::wstring> BatchJob::*Member;
  const wchar_t* Name;  // as the window names the list
};
constexpr ListField kListFields[] = {
    {"archives", &BatchJob::Archives, L"压缩包列表"},
    {"delete", &BatchJob::DeleteNames, L"要删除的文件名"},
    {"add", &BatchJob::AddFiles, L"要添加的文件"},
};

// The options of the run in the program, in the "run" object.
struct RunFlag {
  const char* Key;
  bool BatchJob::*Member;
};
constexpr RunFlag kRunFlags[] = {
    {"backup", &BatchJob::Backup},
    {"keep_times", &BatchJob::KeepTimes},
    {"test_before_lock", &BatchJob::TestBeforeLock},
};

std::wstring Wide(const char* ascii) { return std::wstring(ascii, ascii + std::char_traits<char>::length(ascii)); }

// Whether the JSON nests deeper than kMaxNesting, looked at outside of strings.
bool NestsTooDeep(std::string_view bytes) {
  int depth = 0;
  bool inString = false;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const char c = bytes[i];
    if (inString) {
      if (c == '\\') {
        ++i;
      } else if (c == '"') {
        inString = false;
      }
    } else if (c == '"') {
      inString = true;
    } else if (c == '[' || c == '{') {
      if (++depth > kMaxNesting) return true;
    } else if (c == ']' || c == '}') {
      --depth;
    }
  }
  return false;
}

std::wstring NotAJob(const std::wstring& why) { return L"这不是有效的任务文件：" + why; }

// The "samples" array: each an object of "size" (a positive count), "crc32" (8 hex digits), "sha256"
// (64 lower-case hex digits) and "origin" (text, may be empty). Nothing when read; otherwise why not.
std::optional<std::wstring> ReadSamples(const Json& list, std::vector<ContentSample>& samples) {
  if (!list.is_array()) return L"字段 samples 不是列表。";
  if (list.size() > kMaxJobListItems) return L"字段 samples 的项太多。";
  for (const Json& item : list) {
    const std::wstring which = L"字段 samples 的第 " + Decimal(samples.size() + 1) + L" 项";
    if (!item.is_object()) return which + L"不是对象。";
    ContentSample sample;
    const auto size = item.find("size");
    if (size == item.end() || !size->is_number_unsigned()) return which + L"的 size 不是文件大小。";
    sample.Size = size->get<std::uint64_t>();
    const auto crc = item.find("crc32");
    std::optional<std::wstring> crcText;
    if (crc != item.end() && crc->is_string()) crcText = FromUtf8(crc->get_ref<const std::string&>());
    std::optional<std::uint32_t> crcValue = crcText ? ParseCrc32Text(*crcText) : std::nullopt;
    if (!crcValue) return which + L"的 crc32 不是 8 位十六进制数。";
    sample.Crc32 = *crcValue;
    const auto sha = item.find("sha256");
    if (sha == item.end() || !sha->is_string() || !IsSha256Hex(sha->get_ref<const std::string&>())) {
      return which + L"的 sha256 不是 64 位小写十六进制数。";
    }
    sample.Sha256 = sha->get<std::string>();
    if (const auto origin = item.find("origin"); origin != item.end()) {
      auto wide = origin->is_string() ? FromUtf8(origin->get_ref<const std::string&>()) : std::nullopt;
      if (!wide) return which + L"的 origin 不是文本。";
      sample.Origin = std::move(*wide);
    }
    if (auto refusal = SampleRefusal(sample)) return which + L"无法使用：" + *refusal;
    samples.push_back(std::move(sample));
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::string> WriteJobFile(const SavedJob& saved, std::wstring* why) {
  const BatchJob& job = saved.Job;
  Json file = Json::object();
  file["version"] = kJobFileVersion;
  auto text = [&](const std::wstring& value, const std::wstring& field) -> std::optional<std::string> {
    auto utf8 = ToUtf8(value);
    if (!utf8 && why) *why = field + L"含有无法保存的字符（不成对的代理项）：" + value;
    return utf8;
  };
  for (const TextField& field : kTextFields) {
    auto utf8 = text(job.*field.Member, Wide(field.Key) + L" ");
    if (!utf8) return std::nullopt;
    file[field.Key] = std::move(*utf8);
  }
  for (const ListField& field : kListFields) {
    Json list = Json::array();
    for (const std::wstring& item : job.*field.Member) {
      auto utf8 = text(item, std::wstring(field.Name) + L"中的一项");
      if (!utf8) return std::nullopt;
      list.push_back(std::move(*utf8));
    }
    file[field.Key] = std::move(list);
  }
  file["lock"] = job.Lock;
  file["password"] = job.UsePassword;  // only whether one is used; the password is asked for at run time
  file["run_in_window"] = saved.RunInWindow;
  // Parsed from the same kind of input as a job file (a range of chars), so that the program holds one
  // copy of the parser, not two.
  const std::string_view options = saved.RunOptions;
  Json run = Json::parse(options.begin(), options.end(), nullptr, false);
  if (!run.is_object()) run = Json::object();
  for (const RunFlag& flag : kRunFlags) run[flag.Key] = job.*flag.Member;
  auto folder = text(saved.BackupParent, L"backup_folder ");
  if (!folder) return std::nullopt;
  run["backup_folder"] = std::move(*folder);
  file["run"] = std::move(run);
  // Only a job that has samples gets the field, so a job without them is written as it always was.
  if (!job.Samples.empty()) {
    Json samples = Json::array();
    for (const ContentSample& sample : job.Samples) {
      auto origin = text(sample.Origin, L"样本的来源 ");
      if (!origin) return std::nullopt;
      samples.push_back({{"size", sample.Size},
                         {"crc32", *ToUtf8(Crc32Text(sample.Crc32))},
                         {"sha256", sample.Sha256},
                         {"origin", std::move(*origin)}});
    }
    file["samples"] = std::move(samples);
  }
  return file.dump(2) + "\n";
}

std::optional<std::wstring> JobFileSizeRefusal(std::uint64_t size) {
  if (size <= kMaxJobFileBytes) return std::nullopt;
  return L"任务文件太大（" + Decimal(size / (1024 * 1024)) + L" MB），超过 " +
         Decimal(kMaxJobFileBytes / (1024 * 1024)) + L" MB 的上限，不是本程序保存的任务。";
}

namespace {

JobFileRead ParseJobFile(std::string_view bytes) {
  JobFileRead read;
  if (auto refusal = JobFileSizeRefusal(bytes.size())) {
    read.Refusal = *refusal;
    return read;
  }
  if (bytes.starts_with("\xEF\xBB\xBF")) bytes.remove_prefix(3);
  if (NestsTooDeep(bytes)) {
    read.Refusal = NotAJob(L"内容嵌套过深。");
    return read;
  }
  const Json file = Json::parse(bytes.begin(), bytes.end(), nullptr, false);
  if (file.is_discarded()) {
    read.Refusal = NotAJob(L"内容不是完整的 JSON（文件可能已损坏或被截断）。");
    return read;
  }
  if (!file.is_object()) {
    read.Refusal = NotAJob(L"内容不是 JSON 对象。");
    return read;
  }
  const auto version = file.find("version");
  if (version == file.end() || !version->is_number_integer()) {
    read.Refusal = NotAJob(L"缺少版本号（version）。");
    return read;
  }
  const auto number = version->get<std::int64_t>();
  if (number > kJobFileVersion) {
    read.Refusal = L"任务文件的版本（" + Decimal(number) + L"）比本程序能读的版本（" +
                   Decimal(kJobFileVersion) + L"）新，请使用新版程序打开。";
    return read;
  }
  if (number < 1) {
    read.Refusal = NotAJob(L"版本号（" + Decimal(number) + L"）无效。");
    return read;
  }

  SavedJob saved;
  BatchJob& job = saved.Job;
  auto wrongField = [&](const char* key, const wchar_t* expected) {
    read.Refusal = NotAJob(L"字段 " + Wide(key) + L" 缺少或不是" + expected + L"。");
  };
  for (const TextField& field : kTextFields) {
    const auto found = file.find(field.Key);
    if (found == file.end() || !found->is_string()) {
      wrongField(field.Key, L"文本");
      return read;
    }
    // The parser has checked the UTF-8 already; this cannot fail, but stays strict.
    auto wide = FromUtf8(found->get_ref<const std::string&>());
    if (!wide) {
      wrongField(field.Key, L"有效的 UTF-8 文本");
      return read;
    }
    job.*field.Member = std::move(*wide);
  }
  for (const ListField& field : kListFields) {
    const auto found = file.find(field.Key);
    if (found == file.end() || !found->is_array()) {
      wrongField(field.Key, L"列表");
      return read;
    }
    if (found->size() > kMaxJobListItems) {
      read.Refusal = std::wstring(field.Name) + L"有 " + Decimal(found->size()) +
                     L" 项，超过了每个列表最多 " + Decimal(kMaxJobListItems) + L" 项的上限。";
      return read;
    }
    std::vector<std::wstring>& items = job.*field.Member;
    items.reserve(found->size());
    for (const Json& item : *found) {
      auto wide = item.is_string() ? FromUtf8(item.get_ref<const std::string&>()) : std::nullopt;
      if (!wide) {
        read.Refusal = NotAJob(L"字段 " + Wide(field.Key) + L" 的第 " + Decimal(items.size() + 1) +
                               L" 项不是文本。");
        return read;
      }
      items.push_back(std::move(*wide));
    }
  }
  struct Flag {
    const char* Key;
    bool* Target;
  };
  const Flag flags[] = {{"lock", &job.Lock}, {"password", &job.UsePassword}, {"run_in_window", &saved.RunInWindow}};
  for (const Flag& flag : flags) {
    const auto found = file.find(flag.Key);
    if (found == file.end() || !found->is_boolean()) {
      wrongField(flag.Key, L"true 或 false");
      return read;
    }
    *flag.Target = found->get<bool>();
  }
  if (const auto run = file.find("run"); run != file.end()) {
    if (!run->is_object()) {
      wrongField("run", L"对象");
      return read;
    }
    // Each named option may be missing (false, as before it was kept), but not of another type.
    for (const RunFlag& flag : kRunFlags) {
      const auto found = run->find(flag.Key);
      if (found == run->end()) continue;
      if (!found->is_boolean()) {
        read.Refusal = NotAJob(L"字段 run." + Wide(flag.Key) + L" 不是 true 或 false。");
        return read;
      }
      job.*flag.Member = found->get<bool>();
    }
    if (const auto folder = run->find("backup_folder"); folder != run->end()) {
      auto wide = folder->is_string() ? FromUtf8(folder->get_ref<const std::string&>()) : std::nullopt;
      if (!wide) {
        read.Refusal = NotAJob(L"字段 run.backup_folder 不是文本。");
        return read;
      }
      saved.BackupParent = std::move(*wide);
    }
    // What is kept as it was is what this program does not know; the named options are written anew.
    Json unknown = *run;
    for (const RunFlag& flag : kRunFlags) unknown.erase(flag.Key);
    unknown.erase("backup_folder");
    saved.RunOptions = unknown.dump();
  }
  if (const auto samples = file.find("samples"); samples != file.end()) {
    if (auto refusal = ReadSamples(*samples, job.Samples)) {
      read.Refusal = NotAJob(*refusal);
      return read;
    }
  }
  read.Saved = std::move(saved);
  return read;
}

}  // namespace

JobFileRead ReadJobFile(std::string_view bytes) {
  // A file within the size limit can still hold millions of values, each one the parser's to keep.
  try {
    return ParseJobFile(bytes);
  } catch (const std::bad_alloc&) {
    return {std::nullopt, L"内存不足，无法读取这个任务文件。"};
  } catch (const std::exception&) {
    return {std::nullopt, NotAJob(L"内容无法读取。")};
  }
}

bool HasJobFileExtension(std::wstring_view path) {
  constexpr std::wstring_view extension = kJobFileExtension;
  if (path.size() < extension.size()) return false;
  const std::wstring_view tail = path.substr(path.size() - extension.size());
  for (std::size_t i = 0; i < extension.size(); ++i) {
    if (std::towlower(static_cast<wint_t>(tail[i])) != static_cast<wint_t>(extension[i])) return false;
  }
  return true;
}

}  // namespace rarbatch
