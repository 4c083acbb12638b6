// Connects the model's sort pass to the engine's totals pre-pass. Call
// InstallSortPassLink once before a report run uses RunSortPass.
#pragma once

void InstallSortPassLink();
