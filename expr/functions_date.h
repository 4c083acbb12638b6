// The date and time built-in functions.
#pragma once
