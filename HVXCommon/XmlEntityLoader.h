#pragma once
// The process's one entity loader for libxml2: every document, external DTD, external entity and
// schema that any parser in the process reads comes through it.
//
// It reads regular files only and never the network. A FIFO, a terminal, a device or /dev/stdin
// named by a mapping file would block the load for ever (or read endless data), so such a file is
// opened without waiting, looked at, and refused; an address with a scheme other than file: is
// refused without being contacted. Each refusal is recorded in the calling thread's
// XmlErrorCollector, which makes the load fail with the reason.
//
// libxml2 keeps the loader in one global, which nothing may change while another thread parses:
// it is installed once, before the first document is made, and never swapped.

// Installs the loader (once; later calls do nothing).
void InstallXmlEntityLoader();
