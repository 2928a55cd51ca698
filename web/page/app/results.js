// One file's results: its messages, summary, where the bytes go, and its
// downloads. Every figure shown is the converter's.

function clearResults() {
  elements.warnings.replaceChildren();
  elements.noWarnings.hidden = true;
  elements.summary.replaceChildren();
  elements.summarySection.hidden = true;
  elements.space.replaceChildren();
  elements.spaceSection.hidden = true;
  clearSheet();
  for (const link of [...Object.values(elements.downloads), ...elements.partDownloads.querySelectorAll('a')]) {
    if (link.href) URL.revokeObjectURL(link.href);
    link.removeAttribute('href');
    link.removeAttribute('download');
    link.hidden = true;
  }
  elements.partDownloads.replaceChildren();
  elements.downloadsSection.hidden = true;
}

function showMessages(messages) {
  for (const message of messages) {
    const item = cell('li', message);
    item.className = message.includes(': warning: ') ? 'warning' : 'error';
    elements.warnings.append(item);
  }
  elements.noWarnings.hidden = messages.length > 0;
}

function addTerm(list, term, description) {
  list.append(cell('dt', term), cell('dd', description));
}

// The device's memory taken by an image: { imageBytes, capacity,
// capacityShare } as the converter gives them.
function gauge({ imageBytes, capacity, capacityShare }) {
  const wrapper = document.createElement('p');
  const label = cell('label', `Device memory: ${imageBytes} of ${capacity} bytes (${capacityShare}) `);
  label.htmlFor = 'capacity-gauge';
  const meter = document.createElement('meter');
  meter.id = 'capacity-gauge';
  meter.min = 0;
  meter.max = capacity;
  meter.high = capacity * 0.9;
  meter.value = imageBytes;
  meter.textContent = capacityShare;
  wrapper.append(label, meter);
  return wrapper;
}

function preformatted(text) {
  return cell('pre', text);
}

// The parts of a split: a gauge each, and their log and summary lines as
// kvzpack --split -v prints them.
function showPartsSummary(parts) {
  const fewest = Math.min(...parts.map((part) => part.entries));
  const most = Math.max(...parts.map((part) => part.entries));
  const sizes = fewest === most ? `${counted(most, 'entry', 'entries')} each` : `${fewest} to ${most} entries`;
  elements.summary.append(cell('p', `Too large for one image: ${parts.length} parts of ${sizes}, each within the device.`));
  for (const part of parts) {
    const label = cell('h3', `${part.name}: entries ${part.firstEntry + 1} to ${part.firstEntry + part.entries}`);
    elements.summary.append(label, gauge(part.figures));
  }
  elements.summary.append(preformatted(parts.map((part) => `${part.logLine}\n${part.summaryLine}`).join('\n')));
}

function showSummary(report) {
  if (report.parts) {
    showPartsSummary(report.parts);
  } else if (report.figures) {
    const f = report.figures;
    const list = document.createElement('dl');
    addTerm(list, 'texts', f.texts);
    addTerm(list, 'characters', `${f.characters} (${f.distinctCharacters} distinct)`);
    addTerm(list, 'phrases', f.phrases);
    addTerm(list, 'stream', counted(f.streamBytes, 'byte', 'bytes'));
    addTerm(list, 'glyphs', counted(f.glyphBytes, 'byte', 'bytes'));
    addTerm(list, 'image', counted(f.imageBytes, 'byte', 'bytes'));
    elements.summary.append(gauge(f), list, preformatted(`${report.logLine}\n${report.summaryLine}`));
  } else if (report.inspection) {
    elements.summary.append(gauge(report), preformatted(report.inspection));
  }
  elements.summarySection.hidden = elements.summary.childElementCount === 0;
}

// A row of the table: what, entries, and the converter's { bytes, share,
// percent } with a bar.
function spaceRow(what, entries, figure) {
  const row = document.createElement('tr');
  const bar = document.createElement('span');
  bar.className = 'bar';
  bar.style.width = `${Math.min(figure.percent, 100)}%`;
  const barCell = document.createElement('td');
  barCell.className = 'bar-cell';
  barCell.append(bar);
  row.append(cell('th', what), cell('td', entries), cell('td', String(figure.bytes)), cell('td', figure.share), barCell);
  return row;
}

function spaceTable(space) {
  const table = document.createElement('table');
  table.id = 'space-table';
  const head = document.createElement('tr');
  for (const title of ['', 'entries', 'bytes', 'share of the image', '']) head.append(cell('th', title));
  const body = document.createElement('tbody');
  for (const group of space.groups) body.append(spaceRow(group.described, String(group.entries), group));
  body.append(spaceRow(space.tableDescribed, '', space.table));
  body.append(spaceRow(space.glyphsDescribed, '', space.glyphs));
  const thead = document.createElement('thead');
  thead.append(head);
  table.append(thead, body);
  const scroller = document.createElement('div');
  scroller.className = 'table-scroller';
  scroller.append(table);
  return scroller;
}

function costliestList(space) {
  const list = document.createElement('ol');
  list.id = 'costliest';
  for (const entry of space.costliest) {
    list.append(cell('li', `${entry.described}: ${counted(entry.bytes, 'byte', 'bytes')}`));
  }
  return list;
}

// The table with a bar per group, the costliest entries, the glyphs and
// the distance to the limit; and the lines as kvzpack --report prints them.
function showSpace(space) {
  const encoding = space.best ? 'with --best' : 'with the default encoding';
  const intro = cell('p', `The image's ${space.imageBytes} bytes, ${encoding}, of the device's ${space.capacity}:`);
  const glyphs = cell('p', `Glyphs: ${counted(space.glyphBytes, 'byte', 'bytes')} ${space.glyphUse} `
    + '(each costs a glyph cell of its own).');
  glyphs.id = 'space-glyphs';
  const distance = cell('p', space.lines[space.lines.length - 1].trim());
  distance.id = 'space-distance';
  distance.className = space.imageBytes > space.capacity ? 'over' : '';
  const costliestHeading = cell('h3', 'The ten costliest entries');
  const note = cell('p', 'An entry costs the stream bytes of its six lines, phrase codes counted at their '
    + 'width, plus the glyph cells of the characters only it uses.');
  const details = document.createElement('details');
  // A deck built from the file given names its entries' lines in that file too.
  const lines = space.costliest.some((entry) => entry.line > 0) ? ', with each entry\'s line in the file given' : '';
  details.append(cell('summary', `As kvzpack --report prints it${lines}`), preformatted(space.lines.join('\n')));
  elements.space.append(intro, spaceTable(space), glyphs, distance, costliestHeading, costliestList(space), note,
    details);
  elements.spaceSection.hidden = false;
}

// `content`: a Blob as the worker made it (an image's files), or the text
// or bytes of a file of `type`.
function offerDownload(link, fileName, content, type) {
  link.href = URL.createObjectURL(content instanceof Blob ? content : new Blob([content], { type }));
  link.download = fileName;
  link.textContent = fileName;
  link.hidden = false;
  elements.downloadsSection.hidden = false;
}

// The files of each part, under the names the converter gives them
// (NAME-1.ihx, ...).
function offerPartDownloads(parts) {
  for (const part of parts) {
    for (const [extension, content, type] of [['ihx', part.ihx, 'text/plain'], ['txt', part.txt, 'text/plain'],
      ['png', part.png, 'image/png']]) {
      if (!content) continue;
      const link = document.createElement('a');
      link.dataset.part = part.name;
      const item = document.createElement('li');
      item.append(link);
      elements.partDownloads.append(item);
      offerDownload(link, part.downloads[extension], content, type);
    }
  }
}

function offerDownloads(report) {
  const { names, downloads } = report;
  const { ihx, txt, png, kvz, deckTsv } = elements.downloads;
  if (report.kvz) offerDownload(kvz, names.deck, report.kvz, 'application/octet-stream');
  if (report.deckTsv !== undefined) offerDownload(deckTsv, names.deckTsv, report.deckTsv, 'text/tab-separated-values');
  if (report.parts) offerPartDownloads(report.parts);
  if (report.ihx !== undefined) offerDownload(ihx, downloads.ihx, report.ihx, 'text/plain');
  if (report.txt !== undefined) offerDownload(txt, downloads.txt, report.txt, 'text/plain');
  if (report.png) offerDownload(png, downloads.png, report.png, 'image/png');
}

// Shows `entry`'s results, and nothing of any other file's.
function showEntryResults(entry) {
  state.shown = entry;
  clearResults();
  showTableForm(entry);
  showFileList();
  elements.results.hidden = false;
  elements.resultHeading.textContent = entry.name;
  showCommandLine(entry);
  const { report } = entry;
  if (!report) {
    elements.noWarnings.hidden = true;
    return;
  }
  if (report.cancelled) {
    showMessages([`${entry.name}: cancelled, nothing converted`]);
    return;
  }
  showMessages(report.messages);
  showSummary(report);
  if (report.space) showSpace(report.space);
  if (report.sheet) showSheet(report.sheet);
  if (report.parts) showParts(report.parts);
  if (report.ok) offerDownloads(report);
}
