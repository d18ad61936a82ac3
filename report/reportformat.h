#pragma once

// The HTML report, the same map as a JSON document for scripts, as JSON
// Lines (an object a line, readable at any depth), as the export that ncdu
// and gdu browse, or as a page whose script shows the tree folded and
// searches it.
enum class ReportFormat { Html, Json, JsonLines, Ncdu, Browse };
