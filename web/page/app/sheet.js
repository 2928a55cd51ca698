// The preview sheet: drawn in bands of canvases at one canvas pixel per
// device pixel, zoomed by scaling them, and the entry form that shows one
// entry's texts enlarged.

function clearSheet() {
  keepSheetCanvases();
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

// A grey level as a canvas pixel (red, green and blue that level, opaque),
// one 32-bit word in the platform's byte order, as an ImageData's words are.
const GREY_PIXELS = new Uint32Array(new Uint8Array(Array.from({ length: 256 }, (_, level) =>
  [level, level, level, 255]).flat()).buffer);

// Canvas pixels of `count` grey levels of the sheet from `from` on, into
// `image` from its first pixel.
function putGreyPixels(sheet, from, count, image) {
  const words = new Uint32Array(image.data.buffer, 0, count);
  const grey = sheet.grey.subarray(from, from + count);
  for (let i = 0; i < count; ++i) words[i] = GREY_PIXELS[grey[i]];
}

// An ImageData as wide as the sheet and at least `height` rows tall: the
// one the last sheet was drawn through where it fits. Only the band being
// drawn is ever canvas pixels, and a sheet converted again allocates none.
function bandImage(sheet, height) {
  const image = state.drawing.bandImage;
  if (image && image.width === sheet.width && image.height >= height) return image;
  state.drawing.bandImage = new ImageData(sheet.width, height);
  return state.drawing.bandImage;
}

// Rows top to top + height - 1 of the sheet, drawn on `canvas`.
function drawBand(canvas, sheet, top, height) {
  const image = bandImage(sheet, height);
  putGreyPixels(sheet, top * sheet.width, height * sheet.width, image);
  canvas.getContext('2d').putImageData(image, 0, 0, 0, 0, sheet.width, height);
}

// The sheet's canvases, kept when it is cleared: the next sheet draws on
// those of its bands' sizes (a deck converted again, another option), which
// spares the browser a fresh bitmap for each, the costliest part of drawing.
// Every pixel of a band is drawn again, opaque.
function keepSheetCanvases() {
  const canvases = [...elements.preview.querySelectorAll(':scope > canvas')];
  if (canvases.length > 0) state.drawing.spareCanvases = canvases;
}

// A canvas of `width` x `height`: a kept one of that size, or a new one.
function bandCanvas(width, height) {
  const spare = state.drawing.spareCanvases;
  const index = spare.findIndex((canvas) => canvas.width === width && canvas.height === height);
  if (index >= 0) return spare.splice(index, 1)[0];
  const canvas = document.createElement('canvas');
  canvas.width = width;
  canvas.height = height;
  return canvas;
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
    const canvas = bandCanvas(sheet.width, height);
    canvas.dataset.top = String(top);
    canvas.setAttribute('role', 'img');
    canvas.setAttribute('aria-label',
      `Preview sheet, rows ${top} to ${top + height - 1} of ${sheet.height}; name an entry below to hear it`);
    drawBand(canvas, sheet, top, height);
    canvas.onclick = (event) => {
      const scale = canvas.getBoundingClientRect().width / canvas.width;
      const y = top + Math.floor(event.offsetY / scale);
      const text = sheet.texts.find((t) => y >= t.y - 1 && y < t.y - 1 + sheet.rowPitch);
      if (text) showEntry(text.group, text.entry);
    };
    elements.preview.append(canvas);
  }
  state.drawing.spareCanvases = [];
  applyZoom();
}

// The parts' sheets, one at a time, chosen in the part list.
function showParts(parts) {
  elements.part.replaceChildren(...parts.map((part, index) => new Option(part.name, String(index))));
  elements.part.hidden = false;
  elements.partLabel.hidden = false;
  elements.part.onchange = () => {
    keepSheetCanvases();
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
    const row = new ImageData(canvas.width, 1);
    for (let y = 0; y < cellPixels; ++y) {
      putGreyPixels(sheet, (text.y + y) * sheet.width + text.x, canvas.width, row);
      context.putImageData(row, 0, y);
    }
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
    canvas.setAttribute('aria-label', `${text.place}, ${counted(text.cells, 'character', 'characters')}`);
    figure.append(caption, canvas);
    elements.entryView.append(figure);
  }
}
