/*
 * Quill, the data-store library: the umbrella header of its public API.
 *
 * Every header included here is C-compatible (C linkage, plain records,
 * fixed-width integer types, one-byte bool truth values). Texts and records
 * the library returns are released by the caller with free or with the
 * record's Free/Delete operation, as each header states.
 */
#ifndef QUILL_QUILL_H
#define QUILL_QUILL_H

#include "quill/base/conversions.h"
#include "quill/base/datetime.h"
#include "quill/base/hash_table.h"
#include "quill/base/string_utils.h"
#include "quill/base/vector.h"
#include "quill/db/connections.h"
#include "quill/db/datasource_map.h"
#include "quill/db/provider.h"
#include "quill/db/query.h"
#include "quill/db/sql.h"
#include "quill/imds/criteria.h"
#include "quill/imds/datadict.h"
#include "quill/imds/notifications.h"
#include "quill/imds/result_set.h"
#include "quill/imds/table_store.h"
#include "quill/imds/typed_value.h"
#include "quill/objects/criteria_parser.h"

#endif /* QUILL_QUILL_H */
