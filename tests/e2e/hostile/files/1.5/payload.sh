#!/bin/sh
echo served as a download
