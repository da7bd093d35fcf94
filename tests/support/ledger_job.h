// A job of the production record with a two-word rolling code (low word first, step 1) for
// tests and benchmarks that work on the record alone.
#pragma once

#include <filesystem>

#include "ledger/production_ledger.h"

namespace vx3::testing {

inline ledger::JobInfo RollingJob(const std::filesystem::path& folder) {
  ledger::JobInfo job;
  job.device = "VX3P1040";
  job.imagePath = folder / "PART.VX3";
  job.rollingOn = true;
  job.iniPath = folder / "PART.INI";
  job.rollingAddress = 0x21;
  job.shape = {2, true, false};
  job.step[0] = 1;
  return job;
}

}  // namespace vx3::testing
