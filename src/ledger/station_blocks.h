// The blocks of a shared series' values that a station holds, as its own record keeps them: each
// block reserved from the serial server, how far it was used, the values given back when a job
// ended or the station closed, and values the Writer used on its own beyond a block.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ledger/production_ledger.h"

namespace vx3::ledger {

// A block of values reserved for one station: numbers first .. first + span - 1 of its series.
struct ReservedBlock {
  std::int64_t id = 0;  // the server's number of the block
  std::int64_t first = 0;
  std::int64_t span = 0;
  bool operator==(const ReservedBlock&) const = default;
};

// A block's state in the station's record.
enum class BlockState {
  Open,      // the station gives values from it
  Used,      // every value of it was given (a new block followed)
  Returned,  // the values from `used` on were given back: never given out again
  Beyond,    // not a block: values the Writer used on its own past the station's block
};
std::string_view BlockStateName(BlockState state);

// The server_id of a Beyond row whose values other stations hold, every one.
inline constexpr std::int64_t kClaimedByOthers = -1;

struct HeldBlock {
  std::int64_t localId = 0;  // the row in the station's record
  std::string series;
  ReservedBlock block;
  std::int64_t used = 0;  // values of the block given so far (first .. first + used - 1)
  BlockState state = BlockState::Open;
  std::int64_t Last() const { return block.first + block.span - 1; }
  bool Holds(std::int64_t value) const { return value >= block.first && value <= Last(); }
};

class StationBlocks {
 public:
  virtual ~StationBlocks() = default;

  // The station's newest block of `series` (open, used or returned; never a Beyond row), or
  // nullopt when it has none.
  virtual LedgerStatus LatestBlock(std::string_view series, std::optional<HeldBlock>& block) = 0;

  // A block just reserved from the server, committed durably before any of its values is
  // issued; an open block of the same series before it becomes Used. `held` is the new row.
  virtual LedgerStatus AddBlock(std::string_view series, const ReservedBlock& block, HeldBlock& held) = 0;

  // How many values of the open block `localId` were given (first .. first + used - 1).
  virtual LedgerStatus MarkUsed(std::int64_t localId, std::int64_t used) = 0;

  // The open block `localId` ends: its values from `used` on are given back (state Returned,
  // `note` says why). A block that is not open is left as it is.
  virtual LedgerStatus ReturnBlock(std::int64_t localId, std::int64_t used, std::string_view note) = 0;

  // Values first .. first + span - 1 of `series` that the Writer used on its own past the
  // station's block: a Beyond row with `note`, not yet told to the serial server (its server_id
  // is 0 until MarkBeyondClaimed). `localId` is the new row.
  virtual LedgerStatus RecordBeyond(std::string_view series, std::int64_t first, std::int64_t span,
                                    std::string_view note, std::int64_t& localId) = 0;
  // The Beyond rows of `series` the serial server has not been told of yet, oldest first.
  virtual LedgerStatus UnclaimedBeyond(std::string_view series, std::vector<HeldBlock>& rows) = 0;
  // The server took the claim of a Beyond row: `serverId` is its first block of them, or
  // kClaimedByOthers when other stations hold every value of it.
  virtual LedgerStatus MarkBeyondClaimed(std::int64_t localId, std::int64_t serverId) = 0;

  // Values first .. last of `series` that this station's Writer used on its own and that the
  // server says `otherStation` holds: duplicates on the line.
  virtual LedgerStatus RecordConflict(std::string_view series, std::int64_t first, std::int64_t last,
                                      std::string_view otherStation) = 0;
  // The conflicts on record of `series` (of every series when it is empty).
  virtual LedgerStatus ConflictCount(std::string_view series, std::int64_t& count) = 0;

  // A random name of this record, made once with it: the server tells two stations of one name
  // apart by it.
  virtual LedgerStatus StationToken(std::string& token) = 0;
};

}  // namespace vx3::ledger
