#pragma once

// The type a statement's parameter or column holds.
enum class TFieldType { Integer, Text, DateTime };
