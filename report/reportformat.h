#pragma once

// The HTML report, the same map as a JSON document for scripts, or as a
// page whose script shows the tree folded and searches it.
enum class ReportFormat { Html, Json, Browse };
