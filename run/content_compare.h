// Deleting by content, on the archiver: an archive's technical listing read for sizes and CRC32s,
// and its candidates unpacked to standard output (p) in one call, the bytes split by the listed sizes
// and hashed as they come. Nothing is written to the disk but the list file of the candidates' names.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "core/archive_plan.h"
#include "core/archiver_calls.h"
#include "core/content_samples.h"

namespace rarbatch {

class RunningArchivers;

// The call that writes the candidates' bytes: p, quiet (-inul, so that nothing but the bytes comes),
// no comment, the job's password as the run's calls get it (`options`) when `withPassword` and else
// -p-, -scfr where the run's calls have it, and the candidates' exact names from `listFile` (-scfl).
CallResult ContentPrintCall(const BatchJob& job, std::size_t archive, const RunOptions& options,
                            bool withPassword, const std::vector<ListedEntry>& entries, const ContentScan& scan,
                            const std::wstring& listFile);

// Each candidate's SHA-256, in the scan's order: the archiver writes the named entries in the
// archive's order, which is the listing's, so the stream is cut by their listed sizes. Nothing for
// every one of them when the call did not end with exit code 0 or gave other than the sizes' sum.
// `passwordInput` is what the archiver's standard input gives (the password and a line break), and
// `password` what takes the masked switch's place. `call` is left as it ended (its Output empty).
std::vector<std::optional<std::string>> CompareCandidates(const BatchJob& job, CallResult& call,
                                                          const std::vector<ListedEntry>& entries,
                                                          const ContentScan& scan, const std::string& passwordInput,
                                                          RunningArchivers* archivers);

// The whole of one archive's finding for a caller that has its listing: scan, print, conclude. The
// archiver is called only when there are candidates. `withPassword`: the job's password may be used.
ContentFindings FindContent(const BatchJob& job, std::size_t archive, const RunOptions& options,
                            bool withPassword, const std::vector<ListedEntry>& entries,
                            const std::vector<std::wstring>& deleteNames, const std::string& passwordInput,
                            RunningArchivers* archivers, CallResult* printCall = nullptr);

}  // namespace rarbatch
