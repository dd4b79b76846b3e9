// The blocks behind the program's static cells (alloc_static_cell).
#pragma once

// Gives every block back and makes the first one (tests and start-up).
void static_cells_init();
