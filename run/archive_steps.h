// Carrying out one step of an archive's course (core/archive_course.h) on the disk and with the
// archiver: the only place where a step touches anything.
#pragma once

#include <atomic>
#include <cstddef>
#include <string>

#include "core/archive_course.h"
#include "core/batch_script.h"

namespace rarbatch {

class RunningArchivers;

// What every step of a run needs: the job, where its backups keep their places, the archivers it
// started (so that a stop ends them), the password for the archiver's standard input, and whether the
// run is being aborted (so that an archiver ended by it is told from one that failed).
struct StepContext {
  const BatchJob& Job;
  const std::wstring& BackupRoot;
  RunningArchivers* Archivers;
  const std::string& PasswordInput;
  const std::atomic<bool>& Aborting;
};

// Carries out `step` of the job's archive `archive` and fills in what it found. For a call, `report`
// holds the call beforehand and the call as it ended afterwards. Never called with the run's lock.
void CarryOutStep(const StepContext& context, std::size_t archive, const ArchiveStep& step, StepReport& report);

}  // namespace rarbatch
