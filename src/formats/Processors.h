#pragma once
// The program formats unit: converters between program text and the controls' images, the LDA
// stream and the whole-program text edits.

#include "formats/Conversion.h"
#include "formats/Format2C42.h"
#include "formats/FormatNC31.h"
#include "formats/FormatVZ.h"
#include "formats/Lda.h"
#include "formats/TextEdits.h"
