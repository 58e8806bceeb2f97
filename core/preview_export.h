// A job's preview written out for other programs, as rarbatch-cli's `run --preview` reports it: CSV
// with the window's columns, JSON with every entry the job would take, add and replace.
#pragma once

#include <string>
#include <vector>

#include "core/preview_model.h"

namespace rarbatch {

// "change", "unchanged", "deleted", "refused" or "not_listed": the preview table's 将修改, 不变,
// 将被删除, 无法处理 and 无法预览.
const char* PreviewKey(const BatchJob& job, const ArchivePreview& preview);

// UTF-8 with a BOM, CR LF, quoted where needed, as the run's CSV report; columns 压缩包, 预计, 说明,
// 按内容删除 (ContentMatchesText, empty for a job without samples).
std::string FormatCsvPreview(const BatchJob& job, const std::vector<ArchivePreview>& previews);

// UTF-8 JSON, as docs/cli.md describes it.
std::string FormatJsonPreview(const std::wstring& jobFile, int exitCode, const BatchJob& job,
                              const std::vector<ArchivePreview>& previews);

}  // namespace rarbatch
