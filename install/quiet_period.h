#pragma once

class FuncTrace;

// A proxy, a load balancer or an overloaded service can accept a request, answer its headers
// and then send nothing more. Every request of the setup (the reachability probe, the size
// query and the download) therefore ends when nothing has arrived for this long; a request that
// keeps receiving, however slowly, goes on. A minute outlasts the pauses of a
// busy service and still lets an unattended run report its failure long before a deployment
// tool gives up on it.
constexpr unsigned long kQuietPeriodMs = 60000;

// The quiet period in force: kQuietPeriodMs, unless a test linked its own shorter one in.
unsigned long QuietPeriodMs();

// The one line that tells a failed request apart as a stall.
void TraceTimedOut(FuncTrace& scope);
