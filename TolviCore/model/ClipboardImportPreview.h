#pragma once

// ClipboardImportPreview lives beside the import error it is reported with.
#include "TolviCore/model/ClipboardHistoryImportError.h"
