// The preview sheet: drawn in bands of canvases at one canvas pixel per
// device pixel, zoomed by scaling them, and the entry form that shows one
// entry's texts enlarged.

function clearSheet() {
  elements.preview.replaceChildren();
  elements.previewSection.hidden = true;
  elements.zoom.disabled = true;
  elements.entryFields.disabled = true;
  elements.entryView.replaceChildren();
  elements.part.replaceChildren();
  elements.part.hidden = true;
  elements.partLabel.hidden = true;
  state.sheet = null;
}

// Rows top to top + height - 1 of the sheet, as canvas pixels.
function bandImageData(sheet, top, height) {
  const rowBytes = 4 * sheet.width;
  const band = sheet.rgba.subarray(top * rowBytes, (top + height) * rowBytes);
  return new ImageData(new Uint8ClampedArray(band.buffer, band.byteOffset, band.length), sheet.width, height);
}

// Canvas pixels per device pixel: the zoom chosen, or the one that fits
// the sheet to the preview's width.
function zoomScale(sheetWidth) {
  if (elements.zoom.value !== 'fit') return Number(elements.zoom.value);
  return Math.max(elements.preview.clientWidth, 1) / sheetWidth;
}

function applyZoom() {
  const canvases = elements.preview.querySelectorAll('canvas');
  if (canvases.length === 0) return;
  const scale = zoomScale(canvases[0].width);
  for (const canvas of canvases) {
    canvas.style.width = `${canvas.width * scale}px`;
    canvas.style.height = `${canvas.height * scale}px`;
  }
}

// Until the user picks a zoom: ×3, or fit where the sheet at ×3 is wider
// than the preview.
function chooseDefaultZoom(sheet) {
  if (state.zoomChosen) return;
  elements.zoom.value = sheet.width * PREFERRED_ZOOM > elements.preview.clientWidth ? 'fit' : String(PREFERRED_ZOOM);
}

// The texts of the sheet from the worker's six numbers per text.
function placedTexts(sheet) {
  const { places, fieldNames } = sheet;
  const texts = [];
  for (let i = 0; i + 6 <= places.length; i += 6) {
    const [group, entry, field, x, y, cells] = places.subarray(i, i + 6);
    const place = entry < 0 ? `group ${group} name` : `group ${group} entry ${entry} ${fieldNames[field]}`;
    texts.push({ group, entry, field, x, y, cells, place });
  }
  return texts;
}

function showSheet(sheet) {
  sheet.texts ??= placedTexts(sheet);
  state.sheet = sheet;
  elements.previewSection.hidden = false;
  elements.zoom.disabled = false;
  elements.entryFields.disabled = false;
  chooseDefaultZoom(sheet);
  for (let top = 0; top < sheet.height; top += BAND_HEIGHT) {
    const height = Math.min(BAND_HEIGHT, sheet.height - top);
    const canvas = document.createElement('canvas');
    canvas.width = sheet.width;
    canvas.height = height;
    canvas.dataset.top = String(top);
    canvas.setAttribute('role', 'img');
    canvas.setAttribute('aria-label',
      `Preview sheet, rows ${top} to ${top + height - 1} of ${sheet.height}; name an entry below to hear it`);
    canvas.getContext('2d').putImageData(bandImageData(sheet, top, height), 0, 0);
    canvas.addEventListener('click', (event) => {
      const scale = canvas.getBoundingClientRect().width / canvas.width;
      const y = top + Math.floor(event.offsetY / scale);
      const text = sheet.texts.find((t) => y >= t.y - 1 && y < t.y - 1 + sheet.rowPitch);
      if (text) showEntry(text.group, text.entry);
    });
    elements.preview.append(canvas);
  }
  applyZoom();
}

// The parts' sheets, one at a time, chosen in the part list.
function showParts(parts) {
  elements.part.replaceChildren(...parts.map((part, index) => new Option(part.name, String(index))));
  elements.part.hidden = false;
  elements.partLabel.hidden = false;
  elements.part.onchange = () => {
    elements.preview.replaceChildren();
    elements.entryView.replaceChildren();
    showSheet(parts[Number(elements.part.value)].sheet);
  };
  showSheet(parts[0].sheet);
}

// One text, enlarged; narrowed to the page's width where it is wider (the
// style sheet's max-width, with the height following).
function textCanvas(sheet, text) {
  const cellPixels = sheet.cellPixels;
  const canvas = document.createElement('canvas');
  canvas.width = Math.max(1, text.cells * cellPixels);
  canvas.height = cellPixels;
  const context = canvas.getContext('2d');
  if (text.cells > 0) {
    const data = new ImageData(canvas.width, cellPixels);
    for (let row = 0; row < cellPixels; ++row) {
      const from = 4 * ((text.y + row) * sheet.width + text.x);
      data.data.set(sheet.rgba.subarray(from, from + 4 * canvas.width), 4 * row * canvas.width);
    }
    context.putImageData(data, 0, 0);
  }
  canvas.style.width = `${canvas.width * ENTRY_ZOOM}px`;
  return canvas;
}

function showEntry(group, entry) {
  elements.entryView.replaceChildren();
  const sheet = state.sheet;
  if (!sheet) return;
  const texts = sheet.texts.filter((t) => t.group === group && t.entry === entry);
  if (texts.length === 0) {
    elements.entryView.append(cell('h3', entry < 0 ? `There is no group ${group}.` : `Group ${group} has no entry ${entry}.`));
    return;
  }
  elements.entryView.append(cell('h3', entry < 0 ? `Group ${group}: its name` : `Group ${group}, entry ${entry}`));
  for (const text of texts) {
    const figure = document.createElement('figure');
    const caption = cell('figcaption', entry < 0 ? 'name' : sheet.fieldNames[text.field]);
    const canvas = textCanvas(sheet, text);
    canvas.setAttribute('role', 'img');
    canvas.setAttribute('aria-label', `${text.place}, ${text.cells} characters`);
    figure.append(caption, canvas);
    elements.entryView.append(figure);
  }
}
