// Starts the worker, restores the options and wires the controls.

startWorker();
loadOptions();

elements.deck.addEventListener('change', () => {
  const files = [...elements.deck.files];
  elements.deck.value = '';  // so that choosing the same file again runs it again
  chooseFiles(files);
});
elements.dropZone.addEventListener('dragover', (event) => {
  event.preventDefault();
  elements.dropZone.classList.add('dragging');
});
elements.dropZone.addEventListener('dragleave', () => elements.dropZone.classList.remove('dragging'));
elements.dropZone.addEventListener('drop', (event) => {
  event.preventDefault();
  elements.dropZone.classList.remove('dragging');
  chooseFiles(event.dataTransfer.files);
});
for (const option of [...CHECKED_OPTIONS, ...TEXT_OPTIONS].map((name) => elements[name])) {
  option.addEventListener('change', () => {
    saveOptions();
    // The results shown are always those of the options shown.
    if (state.entries.length > 0) {
      runFiles(state.entries.map((entry) => entry.file), state.entries.map((entry) => entry.table),
        Math.max(state.entries.indexOf(state.shown), 0));
    }
  });
}
elements.tableForm.addEventListener('submit', (event) => event.preventDefault());
elements.cancel.addEventListener('click', cancelRun);
elements.copyCommand.addEventListener('click', copyCommandLine);
elements.zoom.addEventListener('change', () => {
  state.zoomChosen = true;
  applyZoom();
});
window.addEventListener('resize', () => {
  if (elements.zoom.value === 'fit') applyZoom();
});
elements.entryForm.addEventListener('submit', (event) => {
  event.preventDefault();
  const group = Number(elements.entryGroup.value);
  const entry = elements.entryNumber.value === '' ? -1 : Number(elements.entryNumber.value);
  showEntry(group, entry);
});
