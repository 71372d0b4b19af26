// What the tests and the stand-in Outlook automation server (FakeOutlook.cpp)
// agree on: the class identifier the tests register for "Outlook.Application"
// and the layout of the mailbox file the server serves.
#pragma once

// {7D3C41E2-5A8B-4F06-9C1D-B2E4A6F80C35}: a class of the tests' own, not Outlook's.
#define FAKE_OUTLOOK_CLSID_TEXT L"{7D3C41E2-5A8B-4F06-9C1D-B2E4A6F80C35}"

// The server is started as `fake-outlook.exe "<mailbox file>"` (COM appends
// -Embedding). The mailbox file holds two lines: the number of items in the
// Deleted Items folder, and how "Remove" behaves:
//   remove  - takes the item away
//   refuse  - fails with the description FAKE_OUTLOOK_REFUSAL
//   keep    - answers success and keeps the item
//   nomapi  - "GetNamespace" itself fails
// Every call is appended as one line to "<mailbox file>.log":
//   start | create | GetNamespace <arg> | GetDefaultFolder <n> | Items #<serial> |
//   Count #<serial> <n> | Remove #<serial> <index> | exit
// where <serial> numbers the item collections in the order they were handed out.
#define FAKE_OUTLOOK_REFUSAL L"The item cannot be deleted."
