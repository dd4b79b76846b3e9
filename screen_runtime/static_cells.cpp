#include "static_cells.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "errors.h"
#include "screen_runtime.h"

namespace {
// Static cells: a bump allocator over blocks that are never given back
// while the process runs (the program's variables live that long).
constexpr size_t first_block_size = 1048576;
// Each block is more than twice as large as the one before it, so memory
// runs out long before this list does; it needs no memory of its own.
constexpr size_t most_cell_blocks = 64;
struct CellPool {
    char* blocks[most_cell_blocks] = {};  // every block made, the current one last
    size_t count = 0;
    char* top = nullptr;
    char* end = nullptr;
    size_t block_size = 0;  // size of the current block
};
// Constant-initialised, with nothing to destroy: no memory before the
// out-of-memory handler is in place, and cells valid until the process is gone.
constinit CellPool cells;

void free_cell_blocks() {
    for (size_t i = 0; i < cells.count; ++i) std::free(cells.blocks[i]);
    cells = CellPool{};
}

bool new_cell_block(size_t size) {
    if (cells.count == most_cell_blocks) return false;
    char* block = static_cast<char*>(std::malloc(size));
    if (!block) return false;
    cells.blocks[cells.count++] = block;
    cells.top = block;
    cells.end = block + size;
    cells.block_size = size;
    return true;
}
}  // namespace

void static_cells_init() {
    free_cell_blocks();
    new_cell_block(first_block_size);  // a failure here is retried, and raised, by the first cell
}

void* alloc_static_cell(int32_t size) {
    if (size < 0) {
        raise_error(error_code::illegal_function_call);
        return nullptr;
    }
    const size_t rounded = (static_cast<size_t>(size) + 7) & ~static_cast<size_t>(7);
    if (cells.count == 0 && !new_cell_block(first_block_size)) raise_error(error_code::static_cells_full);
    if (static_cast<size_t>(cells.end - cells.top) <= rounded) {
        if (!new_cell_block(rounded + 2 * cells.block_size)) raise_error(error_code::static_cells_full);
    }
    void* cell = cells.top;
    cells.top += rounded;
    return cell;
}
