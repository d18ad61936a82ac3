#pragma once

// The HTML report, or the same map as a JSON document for scripts.
enum class ReportFormat { Html, Json };
