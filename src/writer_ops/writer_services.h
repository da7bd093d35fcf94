// What every Writer operation works with: the link to the Writer, and the reporting through
// which it tells the operator what happened.
#pragma once

#include "link/writer_link.h"
#include "ui_text/language.h"
#include "ui_text/reporter.h"

namespace vx3::writer_ops {

struct WriterServices {
  link::WriterLink& link;
  text::Reporter& reporter;
  const text::Language& language;
};

}  // namespace vx3::writer_ops
