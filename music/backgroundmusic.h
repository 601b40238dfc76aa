#pragma once
// Placeholder: the background music is being written.
