// What the printer's web pages show beyond PAPPL's own: labels for the
// printer's options, the supplies page with the toner's state in words,
// and the test page.
#pragma once

#include <cstddef>

#include <pappl/pappl.h>

namespace kpxapp {

// Labels for the vendor options and their values.
void addWebStrings(pappl_system_t *system);

// The printer's supplies page (replaces PAPPL's, which shows bars only).
void showSuppliesPage(pappl_client_t *client, pappl_printer_t *printer);

// PAPPL's test-page callback: writes the test page into the spool
// directory (PAPPL removes it with its job) and returns its name.
const char *testPageFile(pappl_printer_t *printer, char *buffer, size_t size);

}  // namespace kpxapp
