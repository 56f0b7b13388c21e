// The request block in the words of Linux's SG_IO: the block of drive/pass_through.h turned
// into an sg_io_hdr going out, and the sg_io_hdr's answer written back into the block. Pure
// functions, so that every byte of the exchange can be checked without a device.
#pragma once

#include <scsi/sg.h>

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <span>

#include "drive/device_seam.h"
#include "drive/pass_through.h"

namespace varden::linux_sg {

// The kernel's SG_DXFER_UNKNOWN, which the C library's header leaves out: a direction that
// the block does not tell. SG_IO on a CD-ROM refuses it whenever data would move.
inline constexpr int kSgDxferUnknown = -5;

// The sense bytes one call can bring back: never more than the block's sense area holds.
using SenseBuffer = std::array<std::uint8_t, HostLayout::kSenseAreaSize>;

// The sg_io_hdr of one request block. Reads only the block's command fields: `CdbLength`
// (at most the 16 bytes of the CDB field), `DataIn`, `DataTransferLength`, `DataBuffer`,
// `TimeOutValue` (seconds, sent as milliseconds) and `SenseInfoLength` (at most the size of
// the sense area). The answer points into `block` for the CDB (which SG_IO only reads) and
// at `sense` for the sense bytes; both must outlive the call. Direction: SG_DXFER_NONE when
// no data moves, whatever the `DataIn` byte says; SG_DXFER_FROM_DEV for data-in,
// SG_DXFER_TO_DEV for data-out, and kSgDxferUnknown for any other byte with data to move,
// which PassBlockThrough refuses. `block` must be a whole block (kBlockSize bytes).
sg_io_hdr BlockToSgIo(std::span<const std::uint8_t> block, SenseBuffer& sense);

// Writes the answer of `hdr` into the block: `status` into `ScsiStatus`, `sb_len_wr` into
// `SenseInfoLength` (never more than the sense bytes asked for, nor than the sense area),
// and that many bytes of `sense` into the sense area. Answers whether the answer itself
// reports a sound call: false on any host error (a transport fault, a time-out) and on any
// driver error other than "sense bytes are there". A SCSI status other than good is the
// drive's answer, not a failed call. `block` must be a whole block (kBlockSize bytes).
bool SgIoToBlock(const sg_io_hdr& hdr, const SenseBuffer& sense, std::span<std::uint8_t> block);

// Carries one request: `issue` sends the header (the SG_IO ioctl on a device) and answers
// whether the call went through. Answers false, with the block untouched, for a block shorter
// than kBlockSize or with a direction SG_IO cannot carry; otherwise sends, writes the answer
// back into the block (even after a failed call, so the status and sense of a time-out still
// reach the caller; a header that was never filled in writes back status 0 and no sense) and
// answers true only when the call went through and SgIoToBlock found it sound.
bool PassBlockThrough(std::span<std::uint8_t> block, const std::function<bool(sg_io_hdr&)>& issue);

// The SCSI address packed in SCSI_IOCTL_GET_IDLUN's first word: target in bits 0-7, logical
// unit in 8-15, channel in 16-23, host number in 24-31. The host number becomes the port
// number and the channel the path id, as the Windows port driver numbers them.
ScsiAddress AddressFromIdLun(std::uint32_t dev_id);

// The time-out in milliseconds for `seconds`, saturating rather than wrapping, and never the
// all-ones value that SG_IO reads as "no time-out at all".
unsigned int TimeoutMilliseconds(std::uint32_t seconds);

}  // namespace varden::linux_sg
