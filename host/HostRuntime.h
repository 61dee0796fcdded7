#pragma once
// Start-up of the host runtime: fills the in-process class table with the classes the host offers
// (the property set, and the feature-model classes the writers look for). Idempotent.
void InitializeHostRuntime();
