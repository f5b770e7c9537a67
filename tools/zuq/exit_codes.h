// Exit codes shared by every zuq subcommand.
#pragma once

constexpr int exitSuccess = 0;
constexpr int exitEntryFailed = 1;
constexpr int exitUsage = 2;
