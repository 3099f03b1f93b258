#pragma once
// Comma-separated text in and out of a TableModel, in one include: the line parser (csv_record.h),
// the import (csv_import.h) and the export (csv_export.h).

#include "tools/csv_table/csv_export.h"
#include "tools/csv_table/csv_import.h"
#include "tools/csv_table/csv_record.h"
