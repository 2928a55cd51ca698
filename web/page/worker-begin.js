// The page's worker, started from a blob of this function's source so that
// it also runs when the page is opened as a file: the converter module
// (WebAssembly embedded) first, then the worker's message handling.
function kvzWorkerMain() {
