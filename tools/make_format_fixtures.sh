#!/bin/sh
# Rebuilds the frame-format fixtures made from the format layouts.
set -e
cd "$(dirname "$0")/.."
mkdir -p tests/data/formats/made
c++ -std=c++20 -O1 -Wall -Wextra -o /tmp/make_format_fixtures tools/make_format_fixtures.cpp
/tmp/make_format_fixtures tests/data/formats/made
