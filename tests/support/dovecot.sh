#!/usr/bin/env bash
# Placeholder until the protocol tests bring the real server script.
exit 0
